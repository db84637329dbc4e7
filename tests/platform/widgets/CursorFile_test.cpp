#include "platform/widgets/CursorFile.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

using namespace pelorix;
using pelorix::test::TempDir;

namespace
{

void put16(std::string &out, int value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string &out, int value)
{
    put16(out, value & 0xFFFF);
    put16(out, (value >> 16) & 0xFFFF);
}

// A 16 x 16 cursor, 32 bits a pixel: opaque red on the left half, transparent on the right.
std::string cursorFile(int hotX, int hotY)
{
    constexpr int size = 16;
    const int pixelBytes = size * size * 4;
    const int maskBytes = size * 4; // one bit a pixel, rows padded to 32 bits
    std::string file;
    put16(file, 0); // reserved
    put16(file, 2); // a cursor
    put16(file, 1); // one image
    file += static_cast<char>(size);
    file += static_cast<char>(size);
    file += '\0'; // colour count
    file += '\0'; // reserved
    put16(file, hotX);
    put16(file, hotY);
    put32(file, 40 + pixelBytes + maskBytes);
    put32(file, 6 + 16);
    // BITMAPINFOHEADER: the height counts the colour rows and the mask rows.
    put32(file, 40);
    put32(file, size);
    put32(file, size * 2);
    put16(file, 1);
    put16(file, 32);
    put32(file, 0);
    put32(file, pixelBytes + maskBytes);
    for (int i = 0; i < 4; ++i)
        put32(file, 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool left = x < size / 2;
            file += '\0';                               // blue
            file += '\0';                               // green
            file += static_cast<char>(left ? 0xFF : 0); // red
            file += static_cast<char>(left ? 0xFF : 0); // alpha
        }
    }
    file.append(static_cast<std::size_t>(maskBytes), '\0');
    return file;
}

} // namespace

TEST(CursorFile, LoadsTheCursorWithItsHotSpot)
{
    TempDir dir;
    writeFileAtomically(dir.file("cr.data"), cursorFile(3, 5));

    const auto cursor = loadCursorFile(QString::fromStdString(dir.file("cr.data")));

    ASSERT_TRUE(cursor.has_value());
    EXPECT_EQ(cursor->hotSpot(), QPoint(3, 5));
    const QImage image = cursor->pixmap().toImage();
    ASSERT_EQ(image.size(), QSize(16, 16));
    EXPECT_EQ(image.pixelColor(2, 8), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(12, 8).alpha(), 0);
}

TEST(CursorFile, RefusesWhatIsNotACursor)
{
    TempDir dir;
    std::string icon = cursorFile(0, 0);
    icon[2] = 1; // an icon, not a cursor
    const std::string good = cursorFile(1, 1);
    const struct {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"text", "this is not a cursor at all, just some words in a file"},
        {"header only", good.substr(0, 6)},
        {"truncated picture", good.substr(0, 60)},
        {"icon", icon},
        {"no images", std::string("\0\0\2\0\0\0", 6) + good.substr(6)},
    };
    for (const auto &c : cases) {
        writeFileAtomically(dir.file("cr.data"), c.bytes);
        EXPECT_FALSE(loadCursorFile(QString::fromStdString(dir.file("cr.data"))).has_value()) << c.name;
    }
    EXPECT_FALSE(loadCursorFile(QString::fromStdString(dir.file("missing"))).has_value());
    EXPECT_FALSE(loadCursorFile(QString::fromStdString(dir.path())).has_value()) << "a folder";
}

// cr.data comes from the working folder, which may hold anything: what is not a regular file of cursor size is
// refused without waiting for a writer and without reading on and on.
TEST(CursorFile, RefusesFilesThatAreNoPlainSmallFile)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero").c_str()), 0);
    writeFileAtomically(dir.file("big"), cursorFile(1, 1) + std::string(4 * 1024 * 1024, '\0'));
    for (const char *name : {"fifo", "zero", "big"}) {
        EXPECT_FALSE(loadCursorFile(QString::fromStdString(dir.file(name))).has_value()) << name;
    }
    // Exactly at the limit is still read.
    std::string atLimit = cursorFile(2, 2);
    atLimit.resize(4 * 1024 * 1024, '\0');
    writeFileAtomically(dir.file("cr.data"), atLimit);
    const auto cursor = loadCursorFile(QString::fromStdString(dir.file("cr.data")));
    ASSERT_TRUE(cursor.has_value());
    EXPECT_EQ(cursor->hotSpot(), QPoint(2, 2));
}
