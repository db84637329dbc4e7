#include "platform/widgets/Fonts.h"

#include <QApplication>
#include <QFontInfo>
#include <gtest/gtest.h>

using namespace pelorix;

namespace
{

QApplication &application()
{
    static int argc = 1;
    static char name[] = "Fonts_test";
    static char *argv[] = {name, nullptr};
    // Never destroyed: Qt's input devices go away at exit in an order a destroyed application upsets.
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

} // namespace

TEST(Fonts, HaveTheAskedSizeAndWeight)
{
    application();
    const QFont sans = pelorixFont(FontRole::Sans, 13, true);
    EXPECT_EQ(sans.pixelSize(), 13);
    EXPECT_TRUE(sans.bold());
    EXPECT_FALSE(QFontInfo(sans).fixedPitch());
    const QFont mono = pelorixFont(FontRole::Mono, 11);
    EXPECT_EQ(mono.pixelSize(), 11);
    EXPECT_FALSE(mono.bold());
    EXPECT_TRUE(QFontInfo(mono).fixedPitch()) << QFontInfo(mono).family().toStdString();
}
