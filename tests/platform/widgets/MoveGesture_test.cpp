#include "platform/widgets/MoveGesture.h"

#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using namespace pelorix;

namespace
{

// A panel or window whose background starts the move gesture, as the program's panels do.
class Draggable : public QWidget
{
  public:
    using QWidget::QWidget;

  protected:
    void mousePressEvent(QMouseEvent *event) override { startMoveGesture(this, event->globalPosition().toPoint()); }
};

} // namespace

TEST(MoveGesture, CenterPanelCentresAndRaises)
{
    const struct {
        QSize parent;
        QSize panel;
        QPoint topLeft;
    } cases[] = {
        {{1123, 712}, {465, 177}, {329, 268}},
        {{1123, 712}, {1123, 712}, {0, 0}},
        {{1123, 712}, {301, 101}, {561 - 150, 356 - 50}},
        {{200, 100}, {301, 141}, {100 - 150, 50 - 70}},
    };
    for (const auto &c : cases) {
        QWidget window;
        window.resize(c.parent);
        QWidget panel(&window);
        panel.resize(c.panel);
        QWidget later(&window); // created after the panel, so on top of it until CenterPanel raises the panel
        later.setGeometry(0, 0, c.parent.width(), c.parent.height());

        CenterPanel(&panel);

        EXPECT_EQ(panel.pos(), c.topLeft) << c.panel.width() << " x " << c.panel.height();
        EXPECT_EQ(window.children().last(), &panel);
    }
}

TEST(MoveGesture, APanelFollowsTheMouseInsideItsParent)
{
    QWidget window;
    window.resize(1123, 712);
    Draggable panel(&window);
    panel.setGeometry(100, 100, 200, 150);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // The press lands on the panel; the moves and the release are seen wherever they go.
    QTest::mousePress(&panel, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(&window, QPoint(160, 130));
    EXPECT_EQ(panel.pos(), QPoint(150, 120));
    QTest::mouseMove(&window, QPoint(180, 150));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(180, 150));
    EXPECT_EQ(panel.pos(), QPoint(170, 140));

    // After the release the panel stays where it was dropped.
    QTest::mouseMove(&window, QPoint(400, 400));
    EXPECT_EQ(panel.pos(), QPoint(170, 140));

    // Dragged far past the corners, it stops at the parent's edges.
    QTest::mousePress(&panel, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(&window, QPoint(1122, 711));
    EXPECT_EQ(panel.pos(), QPoint(1123 - 200, 712 - 150));
    QTest::mouseMove(&window, QPoint(1, 1));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(panel.pos(), QPoint(0, 0));
}

TEST(MoveGesture, AWindowFollowsTheMouseWhereTheWindowSystemCannotMoveIt)
{
    Draggable window;
    window.setGeometry(100, 100, 300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();

    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(10, 10));
    // Positions are given in the window's coordinates at the time of each event.
    QTest::mouseMove(&window, window.mapFromGlobal(window.mapToGlobal(QPoint(10, 10)) + QPoint(40, 25)));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(10, 10));

    EXPECT_EQ(window.pos(), start + QPoint(40, 25));
}
