#include "platform/widgets/Fonts.h"

#include <QFontInfo>
#include <gtest/gtest.h>

using namespace pelorix;

TEST(Fonts, HaveTheAskedSizeAndWeight)
{
    const QFont sans = pelorixFont(FontRole::Sans, 13, true);
    EXPECT_EQ(sans.pixelSize(), 13);
    EXPECT_TRUE(sans.bold());
    EXPECT_FALSE(QFontInfo(sans).fixedPitch());
    const QFont mono = pelorixFont(FontRole::Mono, 11);
    EXPECT_EQ(mono.pixelSize(), 11);
    EXPECT_FALSE(mono.bold());
    EXPECT_TRUE(QFontInfo(mono).fixedPitch()) << QFontInfo(mono).family().toStdString();
}
