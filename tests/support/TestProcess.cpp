#include "support/TestProcess.h"

#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "platform/Loopback.h"
#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <sys/prctl.h>
#include <unistd.h>

extern char **environ;

namespace pelorix::test
{

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pelorix-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        std::abort();
    m_path = pattern + "/";
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

namespace
{

int freePort(int type)
{
    const UniqueFd socket = bindLoopback(type | SOCK_CLOEXEC);
    return socket ? localPort(socket.get()) : 0;
}

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string> &extra)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos && extra.count(entry.substr(0, eq)))
            continue;
        env.push_back(entry);
    }
    for (const auto &[key, value] : extra)
        env.push_back(key + "=" + value);
    return env;
}

int spawn(const std::string &program, const std::vector<std::string> &args,
          const std::map<std::string, std::string> &extraEnv, const std::string &workDir, const std::string &outPath,
          const std::string &errPath, int stdinFd)
{
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    auto envStore = mergedEnvironment(extraEnv);
    std::vector<char *> envp;
    for (auto &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A test that dies (an abort, a timeout's kill) takes its companion processes with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(125);
        if (stdinFd >= 0) {
            ::dup2(stdinFd, 0);
        } else {
            const int nullFd = ::open("/dev/null", O_RDONLY);
            ::dup2(nullFd, 0);
        }
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0)
            ::_exit(126);
        ::setpgid(0, 0);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

std::string readFile(const std::string &path)
{
    std::string text;
    readWholeFile(path, text);
    return text;
}

} // namespace

int freeTcpPort()
{
    return freePort(SOCK_STREAM);
}
int freeUdpPort()
{
    return freePort(SOCK_DGRAM);
}

bool waitForTcpPort(int port, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        const UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const sockaddr_in address = loopbackAddress(port);
        if (socket && ::connect(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

ChildProcess::ChildProcess(const std::string &program, const std::vector<std::string> &args,
                           const std::map<std::string, std::string> &extraEnv, const std::string &workDir)
    : m_outPath(m_dir.file("stdout"))
    , m_errPath(m_dir.file("stderr"))
{
    m_pid = spawn(program, args, extraEnv, workDir, m_outPath, m_errPath, -1);
}

ChildProcess::~ChildProcess()
{
    if (!m_reaped && m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
    }
}

bool ChildProcess::running()
{
    if (m_reaped || m_pid <= 0)
        return false;
    const pid_t r = ::waitpid(m_pid, &m_status, WNOHANG);
    if (r == m_pid) {
        m_reaped = true;
        return false;
    }
    return true;
}

int ChildProcess::wait(std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= end) {
            kill(SIGKILL);
            ::waitpid(m_pid, &m_status, 0);
            m_reaped = true;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(m_status))
        return WEXITSTATUS(m_status);
    return 128 + (WIFSIGNALED(m_status) ? WTERMSIG(m_status) : 0);
}

void ChildProcess::kill(int signal)
{
    if (!m_reaped && m_pid > 0)
        ::kill(m_pid, signal);
}

std::string ChildProcess::stdoutText() const
{
    return readFile(m_outPath);
}
std::string ChildProcess::stderrText() const
{
    return readFile(m_errPath);
}

int runProcess(const std::string &program, const std::vector<std::string> &args, std::string *out, std::string *err,
               const std::map<std::string, std::string> &extraEnv, std::chrono::milliseconds timeout,
               const std::string &stdinText)
{
    TempDir dir;
    int stdinFd = -1;
    if (!stdinText.empty()) {
        writeFileAtomically(dir.file("stdin"), stdinText);
        stdinFd = ::open(dir.file("stdin").c_str(), O_RDONLY);
    }
    const pid_t pid = spawn(program, args, extraEnv, {}, dir.file("out"), dir.file("err"), stdinFd);
    if (stdinFd >= 0)
        ::close(stdinFd);
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + timeout;
    int result = -1;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (out)
        *out = readFile(dir.file("out"));
    if (err)
        *err = readFile(dir.file("err"));
    return result;
}

std::unique_ptr<ChildProcess> startSimulator(const std::string &program, const std::string &worldFile,
                                             std::vector<std::string> *addresses)
{
    const std::string portFile = worldFile + ".ports";
    auto simulator = std::make_unique<ChildProcess>(
        program, std::vector<std::string>{worldFile, "--base-port", "0", "--port-file", portFile});
    std::string ports;
    for (int i = 0; i < 200 && !readWholeFile(portFile, ports); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    *addresses = splitLines(ports);
    return simulator;
}

std::string simulatedPlayersJson(int count)
{
    std::string list;
    for (int i = 0; i < count; ++i)
        list += std::string(i ? "," : "") + R"({"name": "p)" + std::to_string(i) + R"(", "score": 1, "ping": 10})";
    return "[" + list + "]";
}

} // namespace pelorix::test
