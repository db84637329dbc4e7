#include "platform/AtomicFile.h"

#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

using namespace pelorix;
using pelorix::test::TempDir;

TEST(AtomicFile, ReadsAWholeRegularFileWithinItsLimit)
{
    TempDir dir;
    const std::string path = dir.file("data");
    const std::string bytes = std::string(100000, 'x') + std::string("\0\r\n", 3);
    ASSERT_TRUE(writeFileAtomically(path, bytes));

    std::string read = "old";
    ASSERT_TRUE(readWholeFile(path, read));
    EXPECT_EQ(read, bytes);
    ASSERT_TRUE(readWholeFile(path, read, bytes.size()));
    EXPECT_EQ(read, bytes);
    EXPECT_FALSE(readWholeFile(path, read, bytes.size() - 1));

    ASSERT_TRUE(writeFileAtomically(path, ""));
    EXPECT_TRUE(readWholeFile(path, read, 0));
    EXPECT_EQ(read, "");
}

TEST(AtomicFile, RefusesWhatIsNotARegularFile)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string read;
    // A FIFO without a writer is refused at once instead of waiting for one.
    EXPECT_FALSE(readWholeFile(fifo, read));
    EXPECT_FALSE(openRegularFile(fifo));
    EXPECT_FALSE(readWholeFile(dir.path(), read));
    EXPECT_FALSE(readWholeFile(dir.file("missing"), read));
    // A device that never ends is refused once it is past the limit.
    EXPECT_FALSE(readWholeFile("/dev/zero", read, 10));
}

TEST(AtomicFile, ReadAllStopsAtItsLimitAndReadPiecesWhenToldTo)
{
    TempDir dir;
    const std::string path = dir.file("data");
    ASSERT_TRUE(writeFileAtomically(path, "0123456789"));

    std::string text = ">";
    UniqueFd fd = openRegularFile(path);
    ASSERT_TRUE(fd);
    ASSERT_TRUE(readAll(fd.get(), text, 4));
    EXPECT_EQ(text, ">0123");
    ASSERT_TRUE(readAll(fd.get(), text, 0));
    EXPECT_EQ(text, ">0123");

    fd = openRegularFile(path);
    int pieces = 0;
    EXPECT_TRUE(readPieces(fd.get(), [&pieces](std::string_view) { return ++pieces < 1; }));
    EXPECT_EQ(pieces, 1);

    // A descriptor that cannot be read is an error, not an empty file.
    EXPECT_FALSE(readAll(-1, text));
    const UniqueFd writeOnly(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    EXPECT_FALSE(readPieces(writeOnly.get(), [](std::string_view) { return true; }));
}

TEST(AtomicFile, WriteAllDeliversEverythingOrFails)
{
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    // Far more than a pipe holds: the reader takes it in many pieces while the writer waits for room.
    std::string data(4 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    std::string received;
    std::thread reader([&] { readAll(readEnd.get(), received); });
    EXPECT_TRUE(writeAll(writeEnd.get(), data));
    writeEnd.reset();
    reader.join();
    EXPECT_EQ(received, data);

    // A descriptor that cannot be written fails rather than claiming success.
    EXPECT_FALSE(writeAll(readEnd.get(), "x"));

    // A file size limit makes the first write come back short and the next one fail: a file cut short is a
    // failure too.
    TempDir dir;
    const UniqueFd file(::open(dir.file("limited").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(file);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = writeAll(file.get(), std::string(4000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    struct stat info {
    };
    ASSERT_EQ(::fstat(file.get(), &info), 0);
    EXPECT_EQ(info.st_size, 1000); // the short write did happen before the failure
}

TEST(AtomicFile, FolderOfAPath)
{
    const std::pair<std::string, std::string> cases[] = {
        {"name", "."}, {"/name", "/"}, {"/a/b/name", "/a/b"}, {"a/name", "a"}, {"/a/b/", "/a/b"},
    };
    for (const auto &[path, folder] : cases)
        EXPECT_EQ(folderOf(path), folder) << path;
}
