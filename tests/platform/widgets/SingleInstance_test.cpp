#include "platform/gui/SingleInstance.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using namespace pelorix;
using pelorix::test::ChildProcess;
using pelorix::test::TempDir;

namespace {

QApplication &application()
{
    static int argc = 1;
    static char name[] = "SingleInstance_test";
    static char *argv[] = {name, nullptr};
    // Never destroyed: Qt's input devices go away at exit in an order a destroyed application upsets.
    static QApplication *app = new QApplication(argc, argv);
    return *app;
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
    application();
    TempDir dir;
    const std::string program = programIn(dir);
    SingleInstance first(program);
    ASSERT_EQ(first.claim({QStringLiteral("first")}), SingleInstance::Role::Primary);
    QList<QStringList> received;
    first.setActivationHandler([&](const QStringList &arguments) { received << arguments; });

    // Another letter case of the same path counts as the same program.
    auto later = probe(dir.file("PELORIX"), {"safe", "two words"});
    ASSERT_TRUE(pumpUntil([&] { return !later->running(); }));

    EXPECT_EQ(later->wait(), 0);
    EXPECT_EQ(later->stdoutText(), "secondary\n");
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received.front(), QStringList({QStringLiteral("safe"), QStringLiteral("two words")}));
}

TEST(SingleInstance, RequestsWaitForTheHandler)
{
    application();
    TempDir dir;
    const std::string program = programIn(dir);
    SingleInstance first(program);
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);
    int signalled = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++signalled; });

    auto one = probe(program, {"1"});
    ASSERT_TRUE(pumpUntil([&] { return !one->running(); }));
    auto two = probe(program, {"2"});
    ASSERT_TRUE(pumpUntil([&] { return !two->running(); }));
    EXPECT_EQ(signalled, 2);

    // The window connects later, while starting up; nothing is lost in the meantime.
    QList<QStringList> received;
    first.setActivationHandler([&](const QStringList &arguments) { received << arguments; });
    EXPECT_EQ(received, QList<QStringList>({{QStringLiteral("1")}, {QStringLiteral("2")}}));
}

TEST(SingleInstance, ALaterRunWaitsForAFirstRunThatIsStillStarting)
{
    application();
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
    first.setActivationHandler([&](const QStringList &arguments) { received << arguments; });
    ASSERT_TRUE(pumpUntil([&] { return !later->running(); }));

    EXPECT_EQ(later->wait(), 0);
    EXPECT_EQ(received, QList<QStringList>({{QStringLiteral("late")}}));
}

TEST(SingleInstance, AKilledFirstRunLeavesThePlaceFree)
{
    application();
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
    application();
    TempDir dir;
    std::filesystem::create_directories(dir.file("other"));
    SingleInstance first(programIn(dir));
    ASSERT_EQ(first.claim({}), SingleInstance::Role::Primary);

    auto other = probe(programIn(dir, "other/Pelorix"), {});
    EXPECT_TRUE(pumpUntil([&] { return other->stdoutText() == "primary\n"; }));
}

TEST(SingleInstance, BringToFrontRestoresAMinimisedWindow)
{
    application();
    QWidget window;
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    bringToFront(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}
