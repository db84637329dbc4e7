#include "platform/ProcessList.h"

#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace pelorix;
using pelorix::test::TempDir;

namespace
{

// A sleeping process started with a chosen argv[0], killed and reaped when the object goes.
class Sleeper
{
  public:
    Sleeper(const std::string &program, const std::string &argument0)
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            std::string arg0 = argument0;
            std::string seconds = "60";
            char *argv[] = {arg0.data(), seconds.data(), nullptr};
            ::execv(program.c_str(), argv);
            ::_exit(127);
        }
        // Until the exec has finished the child still shows this test's names (the new executable
        // appears a moment before the new arguments do).
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end && !execFinished(program, argument0))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Sleeper()
    {
        if (!m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    // The signal that ended the process, 0 when it is still running after the timeout.
    int waitForSignal(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_reaped = true;
                return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return 0;
    }

  private:
    bool execFinished(const std::string &program, const std::string &argument0) const
    {
        const std::string base = "/proc/" + std::to_string(m_pid);
        std::error_code ec;
        std::string cmdline;
        return std::filesystem::read_symlink(base + "/exe", ec) == std::filesystem::canonical(program, ec) &&
               readWholeFile(base + "/cmdline", cmdline) && cmdline.starts_with(argument0 + '\0');
    }

    pid_t m_pid = -1;
    bool m_reaped = false;
};

// A copy of sleep under a name no other process on the machine has.
std::string uniqueName(const char *stem)
{
    return std::string(stem) + std::to_string(::getpid()) + ".EXE";
}

std::string copyOfSleep(const TempDir &dir, const std::string &name)
{
    const std::string path = dir.file(name);
    std::filesystem::copy_file("/bin/sleep", path);
    return path;
}

} // namespace

TEST(ProcessList, FindsAProcessByItsExecutableNameInAnyLetterCase)
{
    TempDir dir;
    const std::string name = uniqueName("Pxrun");
    const std::string path = copyOfSleep(dir, name);
    // argv[0] says something else: the executable alone must be enough.
    Sleeper sleeper(path, "unrelated-name");

    EXPECT_TRUE(IsProcessRunning(name));
    EXPECT_TRUE(IsProcessRunning(asciiLower(name)));
    EXPECT_FALSE(IsProcessRunning(path)) << "IsProcessRunning compares the file name only";
    EXPECT_FALSE(IsProcessRunning("Pxrun.EXE"));
}

TEST(ProcessList, FindsAWindowsProgramByTheFileNameOfItsFirstArgument)
{
    TempDir dir;
    const std::string name = uniqueName("Pxwin");
    const std::string windowsPath = "D:\\Games\\VEKTA 4\\Content\\System\\" + name;
    // Under Wine the executable is the loader; the Windows path shows only in argv[0].
    Sleeper sleeper(copyOfSleep(dir, "loader-" + std::to_string(::getpid())), windowsPath);

    EXPECT_TRUE(IsProcessRunning(asciiLower(name)));
    EXPECT_FALSE(IsProcessRunning("VEKTA 4"));
}

TEST(ProcessList, FindsTheGameUnderItsWindowsPath)
{
    TempDir dir;
    Sleeper sleeper(copyOfSleep(dir, "game-" + std::to_string(::getpid())),
                    "D:\\Games\\VEKTA 4\\Content\\System\\VEKTA4.EXE");
    EXPECT_TRUE(IsProcessRunning("vekta4.exe"));
}

TEST(ProcessList, KillEndsEveryMatchingProcessWithSigkill)
{
    TempDir dir;
    const std::string name = uniqueName("Pxkill");
    const std::string path = copyOfSleep(dir, name);
    Sleeper first(path, path);
    Sleeper second(path, "second");
    ASSERT_TRUE(IsProcessRunning(name));

    EXPECT_TRUE(KillProcessesByName(asciiLower(name)));
    EXPECT_EQ(first.waitForSignal(), SIGKILL);
    EXPECT_EQ(second.waitForSignal(), SIGKILL);
    EXPECT_FALSE(IsProcessRunning(name));
}

TEST(ProcessList, KillMatchesTheWholeExecutablePath)
{
    TempDir dir;
    const std::string name = uniqueName("Pxfull");
    Sleeper byExecutable(copyOfSleep(dir, name), "x");

    EXPECT_TRUE(KillProcessesByName(dir.file(name)));
    EXPECT_EQ(byExecutable.waitForSignal(), SIGKILL);
}

TEST(ProcessList, KillNeverGoesByTheFirstArgument)
{
    TempDir dir;
    const std::string name = uniqueName("Pxarg");
    const std::string windowsPath = "C:\\Program Files\\Pelorix\\" + name;
    // Any program may call itself anything: these two only borrow the name in argv[0].
    Sleeper sameName(copyOfSleep(dir, "impostor-" + std::to_string(::getpid())), name);
    Sleeper samePath(copyOfSleep(dir, "loader-" + std::to_string(::getpid())), windowsPath);
    ASSERT_TRUE(IsProcessRunning(name)) << "the first argument still counts for IsProcessRunning";

    EXPECT_FALSE(KillProcessesByName(name));
    EXPECT_FALSE(KillProcessesByName(asciiUpper(windowsPath)));
    EXPECT_EQ(sameName.waitForSignal(std::chrono::milliseconds(300)), 0);
    EXPECT_EQ(samePath.waitForSignal(std::chrono::milliseconds(300)), 0);

    // The program itself, started under the same name, is ended; the impostors stay.
    Sleeper real(copyOfSleep(dir, name), name);
    EXPECT_TRUE(KillProcessesByName(name));
    EXPECT_EQ(real.waitForSignal(), SIGKILL);
    EXPECT_EQ(sameName.waitForSignal(std::chrono::milliseconds(300)), 0);
}

TEST(ProcessList, AFirstArgumentLongerThanAPathIsNotRead)
{
    TempDir dir;
    const std::string name = uniqueName("Pxlong");
    struct Case {
        std::size_t padding;
        bool found;
    };
    // The whole argument, padding, separator and name, against the 4096 bytes read from /proc.
    for (const Case c : {Case{4000, true}, Case{4096 - name.size() - 2, true}, Case{4096 - name.size() - 1, false},
                         Case{5000, false}}) {
        SCOPED_TRACE(c.padding);
        Sleeper sleeper(copyOfSleep(dir, "long-" + std::to_string(c.padding)),
                        std::string(c.padding, 'x') + "\\" + name);
        EXPECT_EQ(IsProcessRunning(name), c.found);
    }
}

TEST(ProcessList, NothingMatchedGivesFalse)
{
    const std::string name = uniqueName("Pxnone");
    EXPECT_FALSE(IsProcessRunning(name));
    EXPECT_FALSE(KillProcessesByName(name));
    EXPECT_FALSE(KillProcessesByName(""));
    EXPECT_FALSE(IsProcessRunning(""));
}
