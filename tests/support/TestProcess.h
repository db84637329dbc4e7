#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pelorix::test
{

// A scratch folder removed with everything in it when the object goes.
class TempDir
{
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    // Ends with '/'.
    const std::string &path() const { return m_path; }
    std::string file(const std::string &name) const { return m_path + name; }

  private:
    std::string m_path;
};

// A loopback port that was free a moment ago (bound to port 0, then released).
int freeTcpPort();
int freeUdpPort();

// Polls until something accepts TCP connections on 127.0.0.1:port, or the time runs out.
bool waitForTcpPort(int port, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A companion program started by a test and killed (SIGKILL, then reaped) when the object goes.
// Standard output and standard error go to files that the test may read.
class ChildProcess
{
  public:
    ChildProcess(const std::string &program, const std::vector<std::string> &args,
                 const std::map<std::string, std::string> &extraEnv = {}, const std::string &workDir = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    int pid() const { return m_pid; }
    bool running();
    // Waits for the exit; returns the exit status, or -1 on time-out (the process is then killed).
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    void kill(int signal = 9);
    std::string stdoutText() const;
    std::string stderrText() const;

  private:
    TempDir m_dir; // first: the paths below are made from it
    int m_pid = -1;
    int m_status = -1;
    bool m_reaped = false;
    std::string m_outPath;
    std::string m_errPath;
};

// Runs a program to its end and returns its exit status; output captured in out / err.
int runProcess(const std::string &program, const std::vector<std::string> &args, std::string *out = nullptr,
               std::string *err = nullptr, const std::map<std::string, std::string> &extraEnv = {},
               std::chrono::milliseconds timeout = std::chrono::seconds(60), const std::string &stdinText = {});

// The simulator (`program`, pelorix-gamesim) serving the world file on free ports. *addresses gets the servers'
// "host:port" in the world's order once the simulator wrote them; it stays empty when that took more than 10 s.
std::unique_ptr<ChildProcess> startSimulator(const std::string &program, const std::string &worldFile,
                                             std::vector<std::string> *addresses);

// A simulated world's "players" list of `count` players named p0, p1, ..., each with score 1 and ping 10.
std::string simulatedPlayersJson(int count);

} // namespace pelorix::test
