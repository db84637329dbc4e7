#include "shell/widgets/Artwork.h"

#include <QDir>
#include <QImage>
#include <gtest/gtest.h>

#include <functional>

using namespace pelorix;

namespace
{

int countPixels(const QImage &image, const QRect &area, const std::function<bool(QColor)> &test)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += test(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

bool isBlack(QColor c)
{
    return c.red() < 8 && c.green() < 8 && c.blue() < 8;
}
bool isWhite(QColor c)
{
    return c.red() > 240 && c.green() > 240 && c.blue() > 240;
}
bool isYellow(QColor c)
{
    return c.red() > 230 && c.green() > 180 && c.blue() < 40;
}

// The pictures also go to the build folder, for a look by eye.
void keep(const QImage &image, const QString &name)
{
    const QString folder = QStringLiteral(PELORIX_BINARY_DIR "/tests/artwork");
    QDir().mkpath(folder);
    image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace

TEST(Artwork, BackgroundHasTheTitleTheHeadingAndTheRulesOnBlack)
{
    const QImage background = backgroundPixmap().toImage();
    keep(background, QStringLiteral("background"));
    ASSERT_EQ(background.size(), QSize(1123, 692));

    // JOIN GAME in large white letters at the top left.
    EXPECT_GT(countPixels(background, QRect(12, 40, 280, 50), isWhite), 1500);
    // Black around it: above, under the top buttons' row, and where the map picture sits.
    EXPECT_EQ(countPixels(background, QRect(0, 0, 1123, 36), [](QColor c) { return !isBlack(c); }), 0);
    EXPECT_EQ(countPixels(background, QRect(600, 36, 523, 70), [](QColor c) { return !isBlack(c); }), 0);
    // The table's cells are black; only the rules in the gaps show.
    EXPECT_EQ(countPixels(background, QRect(46, 136, 209, 518), [](QColor c) { return !isBlack(c); }), 0);
    EXPECT_EQ(countPixels(background, QRect(545, 136, 230, 518), [](QColor c) { return !isBlack(c); }), 0);
    EXPECT_FALSE(isBlack(background.pixelColor(44, 400)));
    EXPECT_FALSE(isBlack(background.pixelColor(1049, 400)));
    // Below the table, where the name box and the bottom buttons sit.
    EXPECT_EQ(countPixels(background, QRect(0, 660, 1123, 32), [](QColor c) { return !isBlack(c); }), 0);

    // The heading strip from 111 to 134 carries white titles over every column, the padlock included.
    const int columns[][2] = {{11, 32},   {46, 209},  {256, 81}, {338, 53}, {392, 152},
                              {545, 230}, {777, 137}, {915, 64}, {981, 67}, {1050, 64}};
    for (const auto &column : columns)
        EXPECT_GT(countPixels(background, QRect(column[0], 112, column[1], 22), isWhite), 12)
            << "column at " << column[0];
    EXPECT_FALSE(isBlack(background.pixelColor(20, 111)));
    EXPECT_FALSE(isBlack(background.pixelColor(20, 134)));
}

TEST(Artwork, ButtonsHaveTheirSizesAndTwoDistinctStates)
{
    const struct {
        ButtonKind kind;
        QSize size;
        const char *name;
    } cases[] = {
        {ButtonKind::AddServer, {177, 25}, "add-server"},
        {ButtonKind::Options, {177, 25}, "options"},
        {ButtonKind::Quit, {177, 25}, "quit"},
        {ButtonKind::Refresh, {131, 25}, "refresh"},
        {ButtonKind::DirectIp, {131, 25}, "direct-ip"},
        {ButtonKind::Filters, {131, 25}, "filters"},
        {ButtonKind::Join, {200, 29}, "join"},
        {ButtonKind::Accept, {54, 49}, "accept"},
        {ButtonKind::Cancel, {54, 49}, "cancel"},
        {ButtonKind::AcceptSmall, {30, 27}, "accept-small"},
        {ButtonKind::CancelSmall, {30, 27}, "cancel-small"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(buttonSize(c.kind), c.size) << c.name;
        const ButtonPictures pictures = buttonPixmaps(c.kind);
        const QImage normal = pictures.normal.toImage();
        const QImage hover = pictures.hover.toImage();
        keep(normal, QString::fromLatin1(c.name) + QStringLiteral("-normal"));
        keep(hover, QString::fromLatin1(c.name) + QStringLiteral("-hover"));
        ASSERT_EQ(normal.size(), c.size) << c.name;
        ASSERT_EQ(hover.size(), c.size) << c.name;
        const QRect inside = normal.rect().adjusted(1, 1, -1, -1);
        const int area = inside.width() * inside.height();
        // Normal: white marks on a mostly black face. Hover: black marks on a mostly yellow face.
        EXPECT_GT(countPixels(normal, inside, isBlack), area / 2) << c.name;
        EXPECT_GT(countPixels(normal, inside, isWhite), area / 80) << c.name;
        EXPECT_GT(countPixels(hover, inside, isYellow), area / 2) << c.name;
        EXPECT_GT(countPixels(hover, inside, isBlack), area / 80) << c.name;
        EXPECT_EQ(countPixels(hover, inside, isWhite), 0) << c.name;
    }
    // The pictures show different things, not just different colours.
    EXPECT_NE(buttonPixmaps(ButtonKind::Refresh).normal.toImage(), buttonPixmaps(ButtonKind::Filters).normal.toImage());
    EXPECT_NE(buttonPixmaps(ButtonKind::Accept).normal.toImage(), buttonPixmaps(ButtonKind::Cancel).normal.toImage());
}

TEST(Artwork, ProgramIconIsARoundMarkOnTransparency)
{
    for (const int size : {16, 32, 48, 256}) {
        const QImage icon = programIconPixmap(size).toImage();
        if (size == 32 || size == 256)
            keep(icon, QStringLiteral("icon-%1").arg(size));
        ASSERT_EQ(icon.size(), QSize(size, size));
        EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0) << size;
        EXPECT_EQ(icon.pixelColor(size - 1, size - 1).alpha(), 0) << size;
        EXPECT_EQ(icon.pixelColor(size / 2, size / 2).alpha(), 255) << size;
    }
    const QIcon icon = programIcon();
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(256, 256)));
}

TEST(Artwork, MenuIconsAreDistinctMarksOfSixteenPixels)
{
    std::vector<QImage> icons;
    for (const MenuIcon kind :
         {MenuIcon::Executable, MenuIcon::Proxy, MenuIcon::WhiteList, MenuIcon::Message, MenuIcon::About}) {
        const QImage icon = menuIcon(kind).pixmap(16, 16).toImage();
        ASSERT_EQ(icon.size(), QSize(16, 16));
        EXPECT_GT(countPixels(icon, icon.rect(), [](QColor c) { return c.alpha() > 128; }), 15);
        for (const QImage &other : icons)
            EXPECT_NE(icon, other);
        icons.push_back(icon);
    }
}
