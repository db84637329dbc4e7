#include "shell/widgets/MessageWindow.h"

#include "shell/widgets/FormControls.h"
#include "support/GuiTestMain.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace pelorix
{
namespace
{

TEST(MessageWindowTest, FixedSizeAndATitleThatShowsEmpty)
{
    TForm5 window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.size(), QSize(496, 398));
    window.resize(700, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(496, 398)) << "the window cannot be resized";
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window system offers no resizing either";

    // The window system puts the program's name in place of an empty title; a blank one stays blank.
    const QString title = window.windowHandle()->title();
    EXPECT_FALSE(title.isEmpty());
    EXPECT_TRUE(title.trimmed().isEmpty());

    EXPECT_EQ(window.Memo1->geometry(), QRect(0, 0, 496, 330));
    EXPECT_EQ(window.sSpeedButton4->pos(), QPoint(427, 338));
    QTest::mouseClick(window.sSpeedButton4, Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace pelorix
