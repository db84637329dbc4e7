#include "view/widgets/ColumnListView.h"

#include "support/GuiTestMain.h"
#include "view/widgets/SyncColumnsHook.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace pelorix
{
namespace
{

// Counts what the table tells its observers.
struct CountingObserver : ServerTableObserver {
    int notices = 0;
    void rowsInserted(Column, int, int) override { ++notices; }
    void rowsRemoved(Column, int, int) override { ++notices; }
    void cellChanged(Column, int) override { ++notices; }
    void columnReset(Column) override { ++notices; }
    void columnStateChanged(Column) override { ++notices; }
};

class ColumnListViewTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(600, 300);
        for (int c = 0; c < ColumnCount; ++c) {
            views[c] = new ColumnListView(table, static_cast<Column>(c), window.get());
            views[c]->setGeometry(c * 60, 0, 58, 13 * 10);
        }
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void fill(int rows)
    {
        for (int i = 0; i < rows; ++i) {
            table.AppendPlaceholderRow();
            table.PutRowValues(i, " ", "name" + std::to_string(i), "1/8", "30", "CTF", "map", "v", "1.1");
        }
        std::vector<std::string> addresses;
        for (int i = 0; i < rows; ++i)
            addresses.push_back("10.0.0." + std::to_string(i) + ":10481");
        table.setColumnItems(ListBox6_ipaddress, addresses);
    }

    QString shown(Column c, int row) { return views[c]->model()->index(row, 0).data().toString(); }

    ServerTable table;
    std::unique_ptr<QWidget> window;
    std::array<ColumnListView *, ColumnCount> views{};
};

TEST_F(ColumnListViewTest, ViewsFollowTheTableOperations)
{
    table.AppendPlaceholderRow();
    table.AppendPlaceholderRow();
    EXPECT_EQ(views[ListBox1_servername]->model()->rowCount(), 2);
    EXPECT_EQ(views[ListBox6_ipaddress]->model()->rowCount(), 0);
    EXPECT_EQ(shown(ListBox3_ping, 1), QStringLiteral("?"));

    table.PutRowValues(1, std::string(kLockMark), "Caf\xE9", "3/16", "42", "CTF", "Deepwell", "VEKTA 4", "1.1");
    EXPECT_EQ(shown(ListBox0_index, 1), QString(QChar(0xAE)));
    EXPECT_EQ(shown(ListBox1_servername, 1), QString::fromUtf8("Caf\xC3\xA9"));
    EXPECT_EQ(shown(ListBox2_players, 1), QStringLiteral("3/16"));

    table.DeleteRow(0);
    EXPECT_EQ(views[ListBox1_servername]->model()->rowCount(), 1);
    EXPECT_EQ(shown(ListBox5_mapname, 0), QStringLiteral("Deepwell"));
    table.ClearTable();
    for (auto *view : views)
        EXPECT_EQ(view->model()->rowCount(), 0);
}

TEST_F(ColumnListViewTest, CheckColumnShowsGreyJoinBoxesAndWritesTheCheckStateBack)
{
    fill(2);
    QAbstractItemModel *model = views[Listbox10_check]->model();
    const QModelIndex first = model->index(0, 0);
    EXPECT_EQ(first.data().toString(), QStringLiteral("Join"));
    EXPECT_EQ(first.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(first.data(Qt::ForegroundRole).value<QColor>(), QColor(149, 149, 149));
    EXPECT_TRUE(model->flags(first) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(views[ListBox1_servername]->model()->flags(first) & Qt::ItemIsUserCheckable);
    ASSERT_TRUE(model->setData(first, Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(table.isChecked(0));
    EXPECT_FALSE(table.isChecked(1));

    // The unchecked box of the second row has an outline in the column's grey, so it shows on a black list too.
    QCoreApplication::processEvents(); // the list lays out its new rows
    const QImage shot = views[Listbox10_check]->viewport()->grab().toImage();
    int outline = 0;
    for (int y = ColumnListView::kRowHeight; y < 2 * ColumnListView::kRowHeight; ++y) {
        for (int x = 0; x < 16; ++x)
            outline += shot.pixelColor(x, y) == QColor(149, 149, 149) ? 1 : 0;
    }
    EXPECT_GE(outline, 20);
}

TEST_F(ColumnListViewTest, RowsAreThirteenPixelsHighAndTheTableStateIsShown)
{
    fill(40);
    QCoreApplication::processEvents();
    ColumnListView *name = views[ListBox1_servername];
    EXPECT_EQ(name->visualRect(name->model()->index(1, 0)).top(), 13);
    EXPECT_EQ(name->visualRect(name->model()->index(1, 0)).height(), 13);

    table.setSelectedIndex(ListBox3_ping, 5);
    EXPECT_EQ(views[ListBox3_ping]->currentIndex().row(), 5);
    EXPECT_TRUE(views[ListBox3_ping]->selectionModel()->isSelected(views[ListBox3_ping]->model()->index(5, 0)));
    table.setSelectedIndex(ListBox3_ping, -1);
    EXPECT_FALSE(views[ListBox3_ping]->selectionModel()->hasSelection());

    table.setTopRow(ListBox4_gametype, 12);
    EXPECT_EQ(views[ListBox4_gametype]->topRow(), 12);
    table.setVisible(ListBox7_mod, false);
    EXPECT_TRUE(views[ListBox7_mod]->isHidden());
    table.setVisible(ListBox7_mod, true);
    EXPECT_FALSE(views[ListBox7_mod]->isHidden());

    table.SyncColumns();
    EXPECT_FALSE(views[ListBox0_index]->isEnabled());
    EXPECT_EQ(views[ListBox2_players]->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(name->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(views[ListBox4_gametype]->topRow(), 0) << "aligned with the name column";
}

TEST_F(ColumnListViewTest, KeyboardSelectionAndScrollingReachTheTable)
{
    fill(40);
    ColumnListView *name = views[ListBox1_servername];
    QSignalSpy selections(name, &ColumnListView::userSelectionChanged);
    table.setSelectedIndex(ListBox1_servername, 3);
    EXPECT_EQ(selections.count(), 0) << "the table's own changes are not the user's";
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Down);
    EXPECT_EQ(table.selectedIndex(ListBox1_servername), 4);
    ASSERT_EQ(selections.count(), 1);
    EXPECT_EQ(selections.front().front().toInt(), 4);

    QSignalSpy steps(name, &ColumnListView::scrollBarStep);
    name->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(table.column(ListBox1_servername).topRow, 1);
    EXPECT_EQ(steps.count(), 1);
    QTest::keyClick(name, Qt::Key_PageDown);
    EXPECT_EQ(steps.count(), 1) << "keys scroll without a scroll-bar step";
}

// A receiver of keyPressed takes a key from the list by accepting it; a key it leaves reaches the list.
TEST_F(ColumnListViewTest, AKeyAcceptedByAReceiverNeverReachesTheList)
{
    fill(10);
    ColumnListView *name = views[ListBox1_servername];
    QList<int> seen;
    QObject::connect(name, &ColumnListView::keyPressed, [&seen](QKeyEvent *event) {
        seen << event->key();
        EXPECT_FALSE(event->isAccepted()) << "every key arrives ignored";
        if (event->key() == Qt::Key_Down)
            event->accept();
    });
    table.setSelectedIndex(ListBox1_servername, 3);
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Down);
    EXPECT_EQ(table.selectedIndex(ListBox1_servername), 3);
    QTest::keyClick(name, Qt::Key_Up);
    EXPECT_EQ(table.selectedIndex(ListBox1_servername), 2);
    EXPECT_EQ(seen, QList<int>({Qt::Key_Down, Qt::Key_Up}));
}

TEST_F(ColumnListViewTest, TheHookAlignsOnQueuedEventsAndCostsNothingWhenAligned)
{
    fill(60);
    SyncColumnsHook hook(table);
    hook.install();
    table.setTopRow(ListBox1_servername, 20);
    QCoreApplication::processEvents();
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_EQ(views[c]->topRow(), 20) << c;

    CountingObserver observer;
    table.addObserver(&observer);
    const long long before = hook.runs();
    QCoreApplication::postEvent(window.get(), new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    EXPECT_GT(hook.runs(), before);
    EXPECT_EQ(observer.notices, 0);
    table.removeObserver(&observer);
}

} // namespace
} // namespace pelorix
