#include "view/widgets/MapPictureLoader.h"

#include "platform/AtomicFile.h"
#include "support/TestProcess.h"
#include "view/MapPicture.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <gtest/gtest.h>

#include <filesystem>

using namespace pelorix;
using pelorix::test::TempDir;

namespace
{

void writePicture(const std::string &path, int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    RgbImage image;
    image.width = width;
    image.height = height;
    for (int i = 0; i < width * height; ++i)
        image.pixels.insert(image.pixels.end(), {r, g, b});
    ASSERT_TRUE(encodeJpegFile(path, image, 95));
}

QColor centreOf(const QLabel &label)
{
    const QImage image = label.pixmap().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 16 && std::abs(a.green() - b.green()) < 16 &&
           std::abs(a.blue() - b.blue()) < 16;
}

} // namespace

TEST(MapPictureLoader, ShowsTheMapsPictureStretchedToTheBox)
{
    TempDir home;
    std::filesystem::create_directories(home.file("maps"));
    writePicture(home.file("maps/Redstone Bay.jpg"), 256, 192, 200, 30, 30);
    writePicture(home.file("maps/none.jpg"), 64, 16, 128, 128, 128);
    QLabel MAP_picture;
    MAP_picture.setGeometry(601, 15, 113, 89);

    ASSERT_TRUE(ShowMapPicture(&MAP_picture, home.path(), "Redstone Bay"));
    EXPECT_EQ(MAP_picture.pixmap().size(), QSize(113, 89));
    EXPECT_TRUE(near(centreOf(MAP_picture), QColor(200, 30, 30)));

    // A placeholder row and a map without a picture show none.jpg, also stretched to the whole box.
    for (const char *cell : {"?", "Unknown Map", "../maps/Redstone Bay"}) {
        ASSERT_TRUE(ShowMapPicture(&MAP_picture, home.path(), cell)) << cell;
        EXPECT_EQ(MAP_picture.pixmap().size(), QSize(113, 89));
        EXPECT_TRUE(near(centreOf(MAP_picture), QColor(128, 128, 128))) << cell;
    }
}

TEST(MapPictureLoader, AFailureLeavesThePictureAsItWas)
{
    TempDir home;
    std::filesystem::create_directories(home.file("maps"));
    writePicture(home.file("maps/good.jpg"), 32, 32, 30, 30, 200);
    writeFileAtomically(home.file("maps/broken.jpg"), "\xFF\xD8 not really");
    QLabel MAP_picture;
    MAP_picture.resize(113, 89);
    ASSERT_TRUE(ShowMapPicture(&MAP_picture, home.path(), "good"));
    const QImage before = MAP_picture.pixmap().toImage();

    EXPECT_FALSE(ShowMapPicture(&MAP_picture, home.path(), "broken"));
    EXPECT_FALSE(ShowMapPicture(&MAP_picture, home.path(), "missing")) << "and no none.jpg either";
    EXPECT_FALSE(ShowMapPicture(&MAP_picture, home.file("no-such-folder/"), "good"));
    EXPECT_EQ(MAP_picture.pixmap().toImage(), before);
    EXPECT_FALSE(ShowMapPicture(nullptr, home.path(), "good"));
}
