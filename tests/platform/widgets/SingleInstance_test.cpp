#include "platform/widgets/SingleInstance.h"

#include "platform/AtomicFile.h"
#include "platform/InstanceRequest.h"
#include "platform/UniqueFd.h"
#include "support/RecordingScript.h"
#include "support/TestProcess.h"

#include <QCoreApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace pelorix;
using namespace std::chrono_literals;
using pelorix::test::ChildProcess;
using pelorix::test::ScopedEnvironment;
using pelorix::test::TempDir;

namespace
{

// Collects the arguments of every later run from now on.
void collect(SingleInstance &instance, QList<QStringList> &received)
{
    QObject::connect(&instance, &SingleInstance::activationRequested,
                     [&received](const QStringList &arguments) { received << arguments; });
    instance.deliverActivations();
}

// Handles events until the condition holds or ten seconds have passed.
bool pumpUntil(const std::function<bool()> &done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// Handles events for the whole time given.
void pumpFor(std::chrono::milliseconds time)
{
    const auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A connection to the first run made by hand, as any local program could make it.
class RawPeer
{
  public:
    enum class Heard { Nothing, Answered, Dropped };

    explicit RawPeer(const QString &socketAddress)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = socketAddress.toLocal8Bit();
        if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path)
            return;
        std::copy(path.begin(), path.end(), address.sun_path);
        m_connected = ::connect(m_fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }

    bool connected() const { return m_connected; }
    bool send(const std::string &bytes)
    {
        return ::send(m_fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // What the first run has done with this connection so far, without waiting.
    Heard heard()
    {
        if (m_heard != Heard::Nothing)
            return m_heard;
        char answer = 0;
        const ssize_t n = ::recv(m_fd.get(), &answer, 1, MSG_DONTWAIT);
        if (n == 1)
            m_heard = answer == '+' ? Heard::Answered : Heard::Dropped;
        else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            m_heard = Heard::Dropped;
        return m_heard;
    }

  private:
    UniqueFd m_fd;
    bool m_connected = false;
    Heard m_heard = Heard::Nothing;
};

std::string lengthOnly(std::uint32_t size)
{
    return {static_cast<char>(size >> 24), static_cast<char>(size >> 16), static_cast<char>(size >> 8),
            static_cast<char>(size)};
}

// An executable file standing for the program; its path is what identifies the application.
std::string programIn(const TempDir &dir, const std::string &name = "Pelorix")
{
    writeFileAtomically(dir.file(name), "program");
    return dir.file(name);
}

std::unique_ptr<ChildProcess> probe(const std::string &executable, const std::vector<std::string> &arguments)
{
    std::vector<std::string> args{executable};
    args.insert(args.end(), arguments.begin(), arguments.end());
    return std::make_unique<ChildProcess>(PELORIX_SINGLE_INSTANCE_PROBE, args);
}

} // namespace

TEST(SingleInstance, TheSameExecutableInAnyLetterCaseIsTheSameApplication)
{
    TempDir dir;
    const std::string program = programIn(dir);
    std::filesystem::create_symlink(program, dir.file("link"));
    std::filesystem::create_directories(dir.file("copy"));
    const std::string copy = programIn(dir, "copy/Pelorix");

    const QString key = SingleInstance::keyFor(program);
    EXPECT_EQ(SingleInstance::keyFor(dir.file("PELORIX")), key);
    EXPECT_EQ(SingleInstance::keyFor(dir.file("link")), key);
    EXPECT_EQ(SingleInstance::keyFor(dir.file("copy/../Pelorix")), key);
    EXPECT_NE(SingleInstance::keyFor(copy), key) << "a copy in another folder is another application";
}

TEST(SingleInstance, ALaterRunHandsItsArgumentsToTheFirstAndEnds)
{
    TempDir dir;
    const std::string program = programIn(dir);
    SingleInstance first(program);
    ASSERT_EQ(first.claim({QStringLiteral("first")}), SingleInstance::Role::Primary);
    QList<QStringList> received;
    collect(first, received);

    // Another letter case of the same path counts as the same program.
    auto later = probe(dir.file("PELORIX"), {"safe", "two words"});
    ASSERT_TRUE(pumpUntil([&] { return !later->running(); }));

    EXPECT_EQ(later->wait(), 0);
    EXPECT_EQ(later->stdoutText(), "secondary\n");
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received.front(), QStringList({QStringLiteral("safe"), QStringLiteral("two words")}));
}

TEST(SingleInstance, RequestsWaitUntilDeliveriesStart)
{
    TempDir dir;
    const std::string program = programIn(dir);
    SingleInstance first(program);
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);
    QList<QStringList> received;
    QObject::connect(&first, &SingleInstance::activationRequested,
                     [&](const QStringList &arguments) { received << arguments; });

    auto one = probe(program, {"1"});
    ASSERT_TRUE(pumpUntil([&] { return !one->running(); }));
    auto two = probe(program, {"2"});
    ASSERT_TRUE(pumpUntil([&] { return !two->running(); }));
    EXPECT_TRUE(received.isEmpty());

    // The window is ready later, after its start-up; nothing is lost in the meantime, and nothing comes twice.
    first.deliverActivations();
    EXPECT_EQ(received, QList<QStringList>({{QStringLiteral("1")}, {QStringLiteral("2")}}));
    first.deliverActivations();
    auto three = probe(program, {"3"});
    ASSERT_TRUE(pumpUntil([&] { return !three->running(); }));
    EXPECT_EQ(received, QList<QStringList>({{QStringLiteral("1")}, {QStringLiteral("2")}, {QStringLiteral("3")}}));
}

TEST(SingleInstance, ALaterRunWaitsForAFirstRunThatIsStillStarting)
{
    TempDir dir;
    const std::string program = programIn(dir);
    SingleInstance first(program);
    // The first run has its lock but does not listen yet.
    const int lock = ::open(first.lockFilePath().toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    auto later = probe(program, {"late"});
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ASSERT_TRUE(later->running());

    ::close(lock);
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);
    QList<QStringList> received;
    collect(first, received);
    ASSERT_TRUE(pumpUntil([&] { return !later->running(); }));

    EXPECT_EQ(later->wait(), 0);
    EXPECT_EQ(received, QList<QStringList>({{QStringLiteral("late")}}));
}

TEST(SingleInstance, AKilledFirstRunLeavesThePlaceFree)
{
    TempDir dir;
    const std::string program = programIn(dir);
    auto first = probe(program, {});
    ASSERT_TRUE(pumpUntil([&] { return first->stdoutText() == "primary\n"; }));

    // While it runs, this process is the later run, and the first one hears about it.
    {
        SingleInstance later(program);
        EXPECT_EQ(later.claim({QStringLiteral("hello")}), SingleInstance::Role::Secondary);
        EXPECT_TRUE(pumpUntil([&] { return first->stdoutText() == "primary\nrequest:hello\n"; }))
            << first->stdoutText();
    }

    first->kill(SIGKILL);
    first->wait();
    SingleInstance next(program);
    EXPECT_EQ(next.claim({}), SingleInstance::Role::Primary);
    EXPECT_EQ(next.claim({}), SingleInstance::Role::Primary) << "asking again gives the same answer";
}

TEST(SingleInstance, DifferentProgramsDoNotMeet)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("other"));
    SingleInstance first(programIn(dir));
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);

    auto other = probe(programIn(dir, "other/Pelorix"), {});
    EXPECT_TRUE(pumpUntil([&] { return other->stdoutText() == "primary\n"; }));
}

TEST(SingleInstance, BringToFrontRestoresAMinimisedWindow)
{
    QWidget window;
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    bringToFront(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST(SingleInstance, ARequestPastTheLimitIsRefusedOnItsLength)
{
    TempDir dir;
    SingleInstance first(programIn(dir));
    // A clock that stands still: no peer is ever late, so only the length can turn one away.
    first.setClock([] { return std::chrono::steady_clock::time_point{}; });
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);
    QList<QStringList> received;
    collect(first, received);

    const std::size_t bodyLimit = kInstanceRequestLimit - kInstanceRequestHeaderSize;
    const std::string longest(bodyLimit - 1, 'x');
    struct Case {
        const char *what;
        std::string bytes;
        RawPeer::Heard heard;
    };
    const Case cases[] = {
        {"a request that fills the limit", encodeInstanceRequest({longest}), RawPeer::Heard::Answered},
        {"a length one byte past the limit", lengthOnly(bodyLimit + 1), RawPeer::Heard::Dropped},
        {"a length of 4 GiB", lengthOnly(0xFFFFFFFF), RawPeer::Heard::Dropped},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RawPeer peer(first.socketAddress());
        ASSERT_TRUE(peer.connected());
        ASSERT_TRUE(peer.send(c.bytes));
        ASSERT_TRUE(pumpUntil([&] { return peer.heard() != RawPeer::Heard::Nothing; }));
        EXPECT_EQ(peer.heard(), c.heard);
    }
    EXPECT_EQ(received, QList<QStringList>({{QString::fromLatin1(longest)}}));
    EXPECT_EQ(first.pendingPeers(), 0);
}

TEST(SingleInstance, APeerHasOneSecondForItsRequestAndNeverHoldsUpTheWindow)
{
    TempDir dir;
    const std::string program = programIn(dir);
    SingleInstance first(program);
    auto now = std::chrono::steady_clock::time_point{};
    first.setClock([&] { return now; });
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);
    QList<QStringList> received;
    collect(first, received);

    RawPeer silent(first.socketAddress());
    ASSERT_TRUE(pumpUntil([&] { return first.pendingPeers() == 1; }));
    // While it says nothing, the window goes on: another run is heard and sent on its way.
    auto later = probe(program, {"meanwhile"});
    ASSERT_TRUE(pumpUntil([&] { return !later->running(); }));
    EXPECT_EQ(later->wait(), 0);
    EXPECT_EQ(received, QList<QStringList>({{QStringLiteral("meanwhile")}}));

    // Just before its second is up the peer is still waited for; at the second it is dropped.
    now += 999ms;
    pumpFor(300ms);
    EXPECT_EQ(silent.heard(), RawPeer::Heard::Nothing);
    now += 1ms;
    ASSERT_TRUE(pumpUntil([&] { return silent.heard() != RawPeer::Heard::Nothing; }));
    EXPECT_EQ(silent.heard(), RawPeer::Heard::Dropped);

    // A request that comes in whole just inside the second is answered.
    RawPeer slow(first.socketAddress());
    ASSERT_TRUE(pumpUntil([&] { return first.pendingPeers() == 1; }));
    ASSERT_TRUE(slow.send(lengthOnly(7) + "just"));
    now += 999ms;
    pumpFor(300ms);
    ASSERT_EQ(slow.heard(), RawPeer::Heard::Nothing);
    ASSERT_TRUE(slow.send(std::string("in\0", 3)));
    ASSERT_TRUE(pumpUntil([&] { return slow.heard() != RawPeer::Heard::Nothing; }));
    EXPECT_EQ(slow.heard(), RawPeer::Heard::Answered);
    EXPECT_EQ(received.back(), QStringList({QStringLiteral("justin")}));

    // One that is still sending when the second is past is dropped as well.
    RawPeer partial(first.socketAddress());
    ASSERT_TRUE(pumpUntil([&] { return first.pendingPeers() == 1; }));
    ASSERT_TRUE(partial.send(lengthOnly(7) + "just"));
    now += 1001ms;
    ASSERT_TRUE(pumpUntil([&] { return partial.heard() != RawPeer::Heard::Nothing; }));
    EXPECT_EQ(partial.heard(), RawPeer::Heard::Dropped);
    EXPECT_EQ(received.size(), 2);
}

TEST(SingleInstance, OnlyAFewPeersAreHeardAtOnce)
{
    TempDir dir;
    SingleInstance first(programIn(dir));
    first.setClock([] { return std::chrono::steady_clock::time_point{}; });
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);

    std::vector<std::unique_ptr<RawPeer>> peers;
    for (int i = 0; i < SingleInstance::kMaxPeers; ++i) {
        peers.push_back(std::make_unique<RawPeer>(first.socketAddress()));
        ASSERT_TRUE(pumpUntil([&] { return first.pendingPeers() == i + 1; }));
    }
    RawPeer oneTooMany(first.socketAddress());
    ASSERT_TRUE(pumpUntil([&] { return oneTooMany.heard() != RawPeer::Heard::Nothing; }));
    EXPECT_EQ(oneTooMany.heard(), RawPeer::Heard::Dropped);

    // Once one of them is done, the next is heard again.
    ASSERT_TRUE(peers.front()->send(encodeInstanceRequest({"done"})));
    ASSERT_TRUE(pumpUntil([&] { return peers.front()->heard() == RawPeer::Heard::Answered; }));
    RawPeer next(first.socketAddress());
    ASSERT_TRUE(next.send(encodeInstanceRequest({"next"})));
    ASSERT_TRUE(pumpUntil([&] { return next.heard() != RawPeer::Heard::Nothing; }));
    EXPECT_EQ(next.heard(), RawPeer::Heard::Answered);
}

TEST(SingleInstance, OnlyRunsOfTheSameUserAreHeard)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "playing another user needs root";
    TempDir dir;
    TempDir runtime;
    // Opened up for this test alone, so that the other user can reach the socket at all: the program keeps
    // its socket to the user (and in CI its folder is private too), so only the peer check is tested here.
    std::filesystem::permissions(runtime.path(),
                                 std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                     std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                     std::filesystem::perms::others_exec);
    ScopedEnvironment runtimeVariable("XDG_RUNTIME_DIR", runtime.path());
    SingleInstance first(programIn(dir));
    ASSERT_EQ(first.folder().toStdString() + "/", runtime.path());
    ASSERT_EQ(first.socketAddress(), first.socketPath()) << "the other user reaches it by its path";
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);
    ASSERT_EQ(::chmod(first.socketPath().toLocal8Bit().constData(), 0777), 0);
    QList<QStringList> received;
    collect(first, received);

    struct Case {
        uid_t uid;
        std::string argument;
        int outcome; // of the child: 0 answered, 1 dropped unanswered
    };
    for (const Case &c : {Case{0, "from root", 0}, Case{65534, "from nobody", 1}}) {
        SCOPED_TRACE(c.argument);
        // Everything the child needs is made before fork: after it, only plain system calls.
        const std::string request = encodeInstanceRequest({c.argument});
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = first.socketPath().toLocal8Bit();
        std::copy(path.begin(), path.end(), address.sun_path);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (c.uid != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(c.uid) != 0 || ::setuid(c.uid) != 0))
                ::_exit(3);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
                ::_exit(2);
            if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
                ::_exit(5);
            pollfd wait{fd, POLLIN, 0};
            if (::poll(&wait, 1, 10000) != 1)
                ::_exit(4);
            char answer = 0;
            ::_exit(::recv(fd, &answer, 1, 0) == 1 && answer == '+' ? 0 : 1);
        }
        int status = 0;
        ASSERT_TRUE(pumpUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.outcome) << "2: could not connect; 3: could not become the user";
    }
    EXPECT_EQ(received, QList<QStringList>({{QStringLiteral("from root")}}));
}

TEST(SingleInstance, AFolderTooDeepForASocketAddressIsReachedThroughItsHandle)
{
    TempDir dir;
    TempDir runtime;
    const std::string deep = runtime.file(std::string(60, 'd') + "/" + std::string(60, 'e'));
    std::filesystem::create_directories(deep);
    std::filesystem::permissions(deep, std::filesystem::perms::owner_all);
    ScopedEnvironment runtimeVariable("XDG_RUNTIME_DIR", deep);
    const std::string program = programIn(dir);
    SingleInstance first(program);
    ASSERT_EQ(first.folder().toStdString(), deep);
    EXPECT_GT(first.socketPath().size(), 108);
    EXPECT_TRUE(first.socketAddress().startsWith(QStringLiteral("/proc/self/fd/")))
        << first.socketAddress().toStdString();
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);
    QList<QStringList> received;
    collect(first, received);

    auto later = probe(program, {"deep"});
    ASSERT_TRUE(pumpUntil([&] { return !later->running(); }));
    EXPECT_EQ(later->stdoutText(), "secondary\n");
    EXPECT_EQ(received, QList<QStringList>({{QStringLiteral("deep")}}));
    EXPECT_TRUE(std::filesystem::exists(first.socketPath().toStdString())) << "the socket is in the folder itself";
}

TEST(SingleInstance, OnlyAPrivateFolderIsTrusted)
{
    namespace fs = std::filesystem;
    const bool root = ::geteuid() == 0;
    struct Case {
        const char *what;
        // Makes the folder in `base` and gives the value for XDG_RUNTIME_DIR; no value leaves it unset.
        std::function<std::optional<std::string>(const std::string &base)> make;
        bool trusted;
    };
    const auto folderWithMode = [](fs::perms mode) {
        return [mode](const std::string &base) -> std::optional<std::string> {
            fs::create_directory(base + "run");
            fs::permissions(base + "run", mode);
            return base + "run";
        };
    };
    using P = fs::perms;
    const Case cases[] = {
        {"the user's own folder", folderWithMode(P::owner_all), true},
        {"one that others may read",
         folderWithMode(P::owner_all | P::group_read | P::group_exec | P::others_read | P::others_exec), true},
        {"one that the group may write", folderWithMode(P::owner_all | P::group_all), false},
        {"one that everyone may write, like /tmp", folderWithMode(P::all | P::sticky_bit), false},
        {"a link to the user's own folder",
         [](const std::string &base) -> std::optional<std::string> {
             fs::create_directory(base + "real");
             fs::permissions(base + "real", P::owner_all);
             fs::create_directory_symlink(base + "real", base + "run");
             return base + "run";
         },
         false},
        {"another user's folder",
         [root](const std::string &base) -> std::optional<std::string> {
             fs::create_directory(base + "run");
             fs::permissions(base + "run", P::owner_all);
             if (root && ::chown((base + "run").c_str(), 65534, 65534) != 0)
                 return std::nullopt;
             return base + "run";
         },
         !root},
        {"a relative path", [](const std::string &) -> std::optional<std::string> { return "run"; }, false},
        {"a missing folder", [](const std::string &base) -> std::optional<std::string> { return base + "missing"; },
         false},
        {"none given", [](const std::string &) -> std::optional<std::string> { return std::nullopt; }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir base;
        TempDir home;
        const std::optional<std::string> runtime = c.make(base.path());
        ScopedEnvironment runtimeVariable("XDG_RUNTIME_DIR", runtime);
        ScopedEnvironment cacheVariable("XDG_CACHE_HOME", std::nullopt);
        ScopedEnvironment homeVariable("HOME", home.path());

        const std::string folder = privateRuntimeFolder();

        if (c.trusted) {
            EXPECT_EQ(folder, runtime);
            continue;
        }
        // Instead, a folder of the user's own in the home folder.
        EXPECT_EQ(folder, home.file(".cache/pelorix-runtime"));
        struct stat info {
        };
        ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, ::geteuid());
        EXPECT_EQ(info.st_mode & 07777, 0700u);
    }
}

TEST(SingleInstance, WithoutATrustedFolderARunGoesOnAloneAndLeavesNothingBehind)
{
    TempDir dir;
    TempDir home;
    const std::string fallback = home.file("cache/pelorix-runtime");
    std::filesystem::create_directories(fallback);
    std::filesystem::permissions(fallback, std::filesystem::perms::all);
    ScopedEnvironment runtimeVariable("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnvironment cacheVariable("XDG_CACHE_HOME", home.file("cache"));

    EXPECT_EQ(privateRuntimeFolder(), "");
    SingleInstance lone(programIn(dir));
    EXPECT_TRUE(lone.folder().isEmpty());
    EXPECT_EQ(lone.claim({}), SingleInstance::Role::Primary);
    EXPECT_TRUE(std::filesystem::is_empty(fallback)) << "no lock file and no socket in a folder others may write";
}
