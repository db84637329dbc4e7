#include "view/MapPicture.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace pelorix;
using pelorix::test::TempDir;

namespace
{

// Left half red, right half blue, with a vertical green ramp: easy to check after a lossy round trip.
RgbImage testPicture(int width, int height)
{
    RgbImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t *p = &image.pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = x < width / 2 ? 220 : 20;
            p[1] = static_cast<std::uint8_t>(255 * y / (height - 1));
            p[2] = x < width / 2 ? 20 : 220;
        }
    }
    return image;
}

std::string readBytes(const std::string &path)
{
    std::string bytes;
    readWholeFile(path, bytes);
    return bytes;
}

// A JPEG header that declares width x height and nothing after the frame and scan headers.
std::string declaredSizeOnly(int width, int height)
{
    std::string bytes = "\xFF\xD8";
    const unsigned char sof[] = {0xFF,
                                 0xC0,
                                 0x00,
                                 0x0B,
                                 0x08,
                                 static_cast<unsigned char>(height >> 8),
                                 static_cast<unsigned char>(height & 0xFF),
                                 static_cast<unsigned char>(width >> 8),
                                 static_cast<unsigned char>(width & 0xFF),
                                 0x01,
                                 0x01,
                                 0x11,
                                 0x00};
    bytes.append(reinterpret_cast<const char *>(sof), sizeof sof);
    const unsigned char sos[] = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
    bytes.append(reinterpret_cast<const char *>(sos), sizeof sos);
    bytes.append(64, '\0');
    bytes += "\xFF\xD9";
    return bytes;
}

} // namespace

TEST(MapPicture, EncodesAndDecodesAPicture)
{
    TempDir dir;
    const RgbImage original = testPicture(64, 48);
    ASSERT_TRUE(encodeJpegFile(dir.file("map.jpg"), original, 95));

    RgbImage decoded;
    std::string error;
    ASSERT_TRUE(decodeJpegFile(dir.file("map.jpg"), decoded, kMaxJpegPixels, &error)) << error;
    ASSERT_EQ(decoded.width, 64);
    ASSERT_EQ(decoded.height, 48);
    ASSERT_EQ(decoded.pixels.size(), 64u * 48u * 3u);
    const auto near = [](int a, int b) { return std::abs(a - b) <= 24; };
    for (const auto &[x, y] : {std::pair{5, 5}, std::pair{58, 5}, std::pair{5, 42}, std::pair{58, 42}}) {
        const std::size_t at = (static_cast<std::size_t>(y) * 64 + x) * 3;
        for (int c = 0; c < 3; ++c)
            EXPECT_TRUE(near(decoded.pixels[at + c], original.pixels[at + c]))
                << "pixel " << x << "," << y << " channel " << c << ": " << int(decoded.pixels[at + c]) << " vs "
                << int(original.pixels[at + c]);
    }
}

TEST(MapPicture, RefusesBrokenFilesWithoutTouchingTheResult)
{
    TempDir dir;
    ASSERT_TRUE(encodeJpegFile(dir.file("good.jpg"), testPicture(64, 48)));
    const std::string good = readBytes(dir.file("good.jpg"));

    std::string corruptHeader = good;
    for (std::size_t i = 2; i < 40; ++i)
        corruptHeader[i] = static_cast<char>(0x5A);
    std::string corruptTables = good;
    // Overwrites the quantisation and Huffman tables, keeping the frame intact.
    for (std::size_t i = 20; i < good.size() / 2; i += 3)
        corruptTables[i] = static_cast<char>(0xFF);

    const struct {
        const char *name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"not a jpeg", "GIF89a this is not a picture"},
        {"only the start marker", "\xFF\xD8"},
        {"truncated half way", good.substr(0, good.size() / 2)},
        {"truncated before the end marker", good.substr(0, good.size() - 40)},
        {"corrupt header", corruptHeader},
        {"corrupt tables", corruptTables},
    };
    for (const auto &c : cases) {
        writeFileAtomically(dir.file("bad.jpg"), c.bytes);
        RgbImage out;
        out.width = 7;
        std::string error;
        EXPECT_FALSE(decodeJpegFile(dir.file("bad.jpg"), out, kMaxJpegPixels, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
        EXPECT_EQ(out.width, 7) << c.name;
        EXPECT_TRUE(out.pixels.empty()) << c.name;
    }
    RgbImage out;
    EXPECT_FALSE(decodeJpegFile(dir.file("missing.jpg"), out));
}

TEST(MapPicture, RefusesHugeDeclaredSizesBeforeDecoding)
{
    const struct {
        int width;
        int height;
        std::size_t maxPixels;
    } cases[] = {
        {60000, 60000, kMaxJpegPixels},
        {9000, 1, kMaxJpegPixels}, // one side too long
        {1, 8193, kMaxJpegPixels},
        {8192, 8192, 1000u * 1000u}, // a tighter cap from the caller
    };
    for (const auto &c : cases) {
        const std::string bytes = declaredSizeOnly(c.width, c.height);
        RgbImage out;
        std::string error;
        EXPECT_FALSE(decodeJpegData(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size(), out,
                                    c.maxPixels, &error));
        EXPECT_NE(error.find("too large"), std::string::npos) << c.width << " x " << c.height << ": " << error;
    }
    // The same header with a small size gets past the size check and fails later, for lack of tables.
    const std::string small = declaredSizeOnly(16, 16);
    RgbImage out;
    std::string error;
    EXPECT_FALSE(decodeJpegData(reinterpret_cast<const std::uint8_t *>(small.data()), small.size(), out, kMaxJpegPixels,
                                &error));
    EXPECT_EQ(error.find("too large"), std::string::npos) << error;
}

TEST(MapPicture, PicksTheMapsPictureOrNone)
{
    TempDir home;
    std::filesystem::create_directories(home.file("maps"));
    for (const char *name : {"none.jpg", "DM-Arena.jpg", "CTF Bridge.jpg", "x.jpg"})
        writeFileAtomically(home.file("maps/") + name, "jpeg");
    std::filesystem::create_directories(home.file("maps/folder.jpg"));
    writeFileAtomically(home.file("secret.jpg"), "jpeg");
    const std::string none = home.file("maps/none.jpg");

    const struct {
        std::string cell;
        std::string path;
    } cases[] = {
        {"DM-Arena", home.file("maps/DM-Arena.jpg")},
        {"dm-arena", home.file("maps/DM-Arena.jpg")}, // letter case does not matter
        {"CTF Bridge", home.file("maps/CTF Bridge.jpg")},
        {"?", none},
        {"", none},
        {"unknown", none},
        {"folder", none},
        {"../secret", none},
        {"..", none},
        {"x..", none},
        {"maps/x", none},
        {"..\\secret", none},
        {"sub\\x", none},
        {"/etc/passwd", none},
        {std::string("x\0y", 3), none},
        {std::string("x\0", 2), none},
    };
    for (const auto &c : cases)
        EXPECT_EQ(mapPicturePath(home.path(), c.cell), c.path) << "cell: " << c.cell;
    const std::string withoutSlash = home.path().substr(0, home.path().size() - 1);
    EXPECT_EQ(mapPicturePath(withoutSlash, "DM-Arena"), home.file("maps/DM-Arena.jpg"));
    EXPECT_EQ(mapPicturePath(withoutSlash, "?"), none);
}

TEST(MapPicture, EncoderRefusesInconsistentPictures)
{
    TempDir dir;
    RgbImage image = testPicture(8, 8);
    image.pixels.pop_back();
    EXPECT_FALSE(encodeJpegFile(dir.file("a.jpg"), image));
    EXPECT_FALSE(encodeJpegFile(dir.file("no-folder/a.jpg"), testPicture(8, 8)));
}
