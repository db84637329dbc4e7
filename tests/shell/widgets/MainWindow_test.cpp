#include "shell/widgets/MainWindow.h"

#include "support/UdpPeer.h"
#include "support/WindowTestSupport.h"
#include "view/MapPicture.h"
#include "view/widgets/ColumnListView.h"

#include "shell/widgets/FormControls.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace pelorix
{
namespace
{

using test::WindowUnderTest;

constexpr int kRowHeight = ColumnListView::kRowHeight;

// Writes a one-colour JPEG picture.
void writePicture(const std::string &path, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    RgbImage image;
    image.width = 16;
    image.height = 16;
    for (int i = 0; i < 16 * 16; ++i)
        image.pixels.insert(image.pixels.end(), {r, g, b});
    ASSERT_TRUE(encodeJpegFile(path, image));
}

QPoint rowPoint(int row, int x = 20)
{
    return {x, row * kRowHeight + kRowHeight / 2};
}

class MainWindowTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::filesystem::create_directories(w.folder.file("maps"));
        ASSERT_TRUE(w.create());
        // The table is filled by hand here; the first refresh must not empty it.
        ui().Timer2->stop();
        form().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form()));
    }

    TForm1 &form() { return w.form1(); }
    const MainWindowUi &ui() { return w.form1().ui(); }
    ServerTable &table() { return form().table(); }

    void fill(int rows)
    {
        std::vector<std::string> addresses;
        for (int i = 0; i < rows; ++i) {
            table().AppendPlaceholderRow();
            const std::string n = std::to_string(i);
            table().PutRowValues(i, " ", "Server " + n, "3/16", std::to_string(20 + i), "CTF", "map" + n, "VEKTA 4",
                                 "1.1");
            // Loopback addresses where nothing listens: a popup item that asks the server gets its answer at once.
            addresses.push_back("127.0.1." + n + ":9");
        }
        table().setColumnItems(ListBox6_ipaddress, addresses);
        QCoreApplication::processEvents();
    }

    void expectSelected(int row)
    {
        for (int c = 0; c < ColumnCount; ++c) {
            EXPECT_EQ(table().selectedIndex(static_cast<Column>(c)), row) << "column " << c;
            EXPECT_EQ(ui().columns[c]->currentIndex().row(), row) << "view " << c;
        }
    }

    void selectInNameColumn(int row)
    {
        table().setSelectedIndex(ListBox1_servername, row);
        form().ListBox1_servernameClick();
    }

    WindowUnderTest w;
};

TEST_F(MainWindowTest, PressOnTheMapColumnFarRightSelectsTheRowEverywhere)
{
    fill(10);
    QWidget *map = ui().ListBox5_mapname->viewport();
    QTest::mousePress(map, Qt::LeftButton, {}, rowPoint(4, map->width() - 3));
    expectSelected(4);
    EXPECT_TRUE(form().DragSelecting());
    QTest::mouseRelease(map, Qt::LeftButton, {}, rowPoint(4, map->width() - 3));
    EXPECT_FALSE(form().DragSelecting());
    // The click that ends with the release enables the popup items.
    for (QAction *item : {ui().Joinserver1, ui().Updatesingle1, ui().Showplayers2, ui().Deleteserver1})
        EXPECT_TRUE(item->isEnabled());
}

TEST_F(MainWindowTest, DragFromRowThreeToRowEightOverThePingColumnSelectsRowEightAndItsPicture)
{
    writePicture(w.folder.file("maps/map8.jpg"), 250, 0, 0);
    writePicture(w.folder.file("maps/none.jpg"), 0, 0, 250);
    fill(12);
    QWidget *ping = ui().ListBox3_ping->viewport();
    QTest::mousePress(ping, Qt::LeftButton, {}, rowPoint(3));
    expectSelected(3);
    for (int row = 4; row <= 8; ++row)
        QTest::mouseMove(ping, rowPoint(row));
    expectSelected(8);
    QTest::mouseRelease(ping, Qt::LeftButton, {}, rowPoint(8));
    expectSelected(8);
    const QImage shown = ui().MAP_picture->pixmap().toImage();
    ASSERT_FALSE(shown.isNull());
    const QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
    EXPECT_GT(centre.red(), 200);
    EXPECT_LT(centre.blue(), 60);
}

TEST_F(MainWindowTest, PressBelowTheLastRowClearsTheSelectionAndKeepsTheMenu)
{
    fill(5);
    selectInNameColumn(2);
    ASSERT_TRUE(ui().Joinserver1->isEnabled());
    QWidget *name = ui().ListBox1_servername->viewport();
    QTest::mousePress(name, Qt::LeftButton, {}, rowPoint(9));
    QTest::mouseRelease(name, Qt::LeftButton, {}, rowPoint(9));
    expectSelected(-1);
    EXPECT_TRUE(ui().Joinserver1->isEnabled());
    EXPECT_TRUE(ui().Deleteserver1->isEnabled());
}

TEST_F(MainWindowTest, DownMovesAllColumnsFromTheNameColumnAndIsUndoneInThePingColumn)
{
    fill(6);
    selectInNameColumn(2);
    ui().ListBox1_servername->setFocus();
    QTest::keyClick(ui().ListBox1_servername, Qt::Key_Down);
    expectSelected(3);
    ui().ListBox3_ping->setFocus();
    QTest::keyClick(ui().ListBox3_ping, Qt::Key_Down);
    expectSelected(3);
}

TEST_F(MainWindowTest, PopupShortcutsAreConsumedAlsoWhileTheirItemIsDisabled)
{
    fill(3);
    QSignalSpy joins(&form(), &TForm1::joinRequested);
    QSignalSpy updates(ui().Updatesingle1, &QAction::triggered);
    QSignalSpy deletes(ui().Deleteserver1, &QAction::triggered);
    ColumnListView *name = ui().ListBox1_servername;
    ColumnListView *ping = ui().ListBox3_ping;

    struct Case {
        const char *what;
        bool itemsEnabled;
        ColumnListView *view;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int joins, updates, deletes;
    };
    const Case cases[] = {
        {"Enter, disabled, name column", false, name, Qt::Key_Return, {}, 0, 0, 0},
        {"F5, disabled", false, name, Qt::Key_F5, {}, 0, 0, 0},
        {"Del, disabled, ping column", false, ping, Qt::Key_Delete, {}, 0, 0, 0},
        {"Shift+Enter reaches the name column's key handler", false, name, Qt::Key_Return, Qt::ShiftModifier, 1, 0, 0},
        {"Shift+Enter in the ping column has no handler", false, ping, Qt::Key_Return, Qt::ShiftModifier, 0, 0, 0},
        {"Enter, enabled, joins once", true, name, Qt::Key_Return, {}, 1, 0, 0},
        {"Enter, enabled, ping column", true, ping, Qt::Key_Return, {}, 1, 0, 0},
        {"keypad Enter, enabled", true, name, Qt::Key_Enter, Qt::KeypadModifier, 1, 0, 0},
        {"F5, enabled", true, ping, Qt::Key_F5, {}, 0, 1, 0},
        {"Ctrl+F5 is not the shortcut", true, ping, Qt::Key_F5, Qt::ControlModifier, 0, 0, 0},
        {"Del, enabled", true, name, Qt::Key_Delete, {}, 0, 0, 1},
    };
    for (const Case &c : cases) {
        for (QAction *item : {ui().Joinserver1, ui().Updatesingle1, ui().Showplayers2, ui().Deleteserver1})
            item->setEnabled(c.itemsEnabled);
        joins.clear();
        updates.clear();
        deletes.clear();
        c.view->setFocus();
        QTest::keyClick(c.view, c.key, c.modifiers);
        EXPECT_EQ(joins.count(), c.joins) << c.what;
        EXPECT_EQ(updates.count(), c.updates) << c.what;
        EXPECT_EQ(deletes.count(), c.deletes) << c.what;
    }
}

TEST_F(MainWindowTest, PopupMenuNamesTheKeysOfItsItems)
{
    const std::pair<QAction *, QString> items[] = {
        {ui().Joinserver1, QStringLiteral("Enter")},
        {ui().Updatesingle1, QStringLiteral("F5")},
        {ui().Showplayers2, QStringLiteral("F1")},
        {ui().Deleteserver1, QStringLiteral("Del")},
    };
    for (const auto &[item, key] : items)
        EXPECT_EQ(item->shortcut().toString(QKeySequence::NativeText), key) << item->text().toStdString();
}

TEST_F(MainWindowTest, CtrlCCopiesTheAddressCellOnlyFromTheNameColumn)
{
    fill(4);
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QString untouched = QStringLiteral("untouched");

    clipboard->setText(untouched);
    QTest::keyClick(ui().ListBox1_servername, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), untouched) << "no selected row";

    selectInNameColumn(2);
    QTest::keyClick(ui().ListBox1_servername, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(clipboard->text(), untouched) << "Ctrl+Shift+C";
    QTest::keyClick(ui().ListBox3_ping, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), untouched) << "ping column";
    QTest::keyClick(ui().ListBox1_servername, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), QStringLiteral("127.0.1.2:9"));
}

TEST_F(MainWindowTest, HoverTextsAndTheNameColumnHint)
{
    fill(7);
    struct Case {
        QWidget *widget;
        QString text;
        QPoint at = {-1, -1};
    };
    const Case cases[] = {
        {ui().sSpeedButton11, QStringLiteral("Join selected server")},
        {ui().Image1, QString(), QPoint(300, 60)}, // the bare background above the table
        {ui().sSpeedButton5, QStringLiteral("Add server to the list")},
        {ui().sSpeedButton7, QStringLiteral("Options")},
        {ui().sSpeedButton6, QStringLiteral("Quit application")},
        {ui().sSpeedButton8, QStringLiteral("Refresh server list")},
        {ui().sSpeedButton9, QStringLiteral("Connect to server using IP directly")},
        {ui().sSpeedButton10, QStringLiteral("Set server filters")},
        {ui().Name_edit, QStringLiteral("Set your multiplayer nick name")},
        {ui().ListBox7_mod->viewport(), QStringLiteral("Select a server to connect to.")},
    };
    for (const Case &c : cases) {
        ui().Label1->setText(QStringLiteral("previous"));
        QTest::mouseMove(c.widget, c.at.x() >= 0 ? c.at : QPoint(c.widget->width() / 2, c.widget->height() / 2));
        QCoreApplication::processEvents();
        EXPECT_EQ(ui().Label1->text(), c.text) << c.widget->objectName().toStdString();
    }
    EXPECT_EQ(ui().ListBox1_servername->toolTip(), QStringLiteral("There are 7 servers available."));
    EXPECT_EQ(ui().Listbox10_check->toolTip(), QStringLiteral("Wait for free slot and join"));
}

TEST_F(MainWindowTest, ScrollBarStepsHideTheColumnsUntilTheNextEventAndTheWheelDoesNot)
{
    fill(200);
    QTest::qWait(20);
    ColumnListView *name = ui().ListBox1_servername;
    name->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    const int top = name->topRow();
    ASSERT_GT(top, 0);
    EXPECT_TRUE(table().ReshowColumns);
    for (Column c : {ListBox0_index, ListBox2_players, ListBox5_mapname, Listbox10_check})
        EXPECT_TRUE(ui().columns[c]->isHidden()) << c;
    EXPECT_FALSE(ui().ListBox3_ping->isEnabled());
    EXPECT_TRUE(name->isVisible());

    QCoreApplication::processEvents();
    EXPECT_FALSE(table().ReshowColumns);
    for (int c = 0; c < ColumnCount; ++c) {
        ColumnListView *view = ui().columns[c];
        EXPECT_TRUE(view->isVisible()) << c;
        EXPECT_EQ(view->topRow(), top) << c;
    }
    EXPECT_TRUE(ui().ListBox3_ping->isEnabled());
    EXPECT_FALSE(ui().ListBox0_index->isEnabled());

    QWheelEvent wheel(QPointF(20, 20), name->viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(name->viewport(), &wheel);
    const int wheelTop = name->topRow();
    ASSERT_GT(wheelTop, top);
    EXPECT_FALSE(table().ReshowColumns);
    EXPECT_FALSE(ui().ListBox4_gametype->isHidden());
    QCoreApplication::processEvents();
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_EQ(ui().columns[c]->topRow(), wheelTop) << c;
}

TEST_F(MainWindowTest, ShowMapPictureWithAPictureWithoutOneAndWithAHostileName)
{
    writePicture(w.folder.file("maps/dm_alpha.jpg"), 240, 0, 0);
    writePicture(w.folder.file("maps/none.jpg"), 0, 0, 240);
    writePicture(w.folder.file("secret.jpg"), 0, 240, 0);
    struct Case {
        std::string map;
        bool red, green, blue;
    };
    const Case cases[] = {
        {"dm_alpha", true, false, false}, // its own picture
        {"?", false, false, true},        // a placeholder row: none.jpg
        {"dm_unknown", false, false, true},
        {"../secret", false, false, true}, // never a file outside maps/
    };
    table().AppendPlaceholderRow();
    for (const Case &c : cases) {
        table().PutRowValues(0, " ", "x", "1/2", "9", "DM", c.map, "v", "1");
        ui().MAP_picture->clear();
        selectInNameColumn(0);
        const QImage shown = ui().MAP_picture->pixmap().toImage();
        ASSERT_FALSE(shown.isNull()) << c.map;
        const QColor centre = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        EXPECT_EQ(centre.red() > 160, c.red) << c.map;
        EXPECT_EQ(centre.green() > 160, c.green) << c.map;
        EXPECT_EQ(centre.blue() > 160, c.blue) << c.map;
    }
    // No selected row: the picture stays as it was.
    selectInNameColumn(-1);
    EXPECT_FALSE(ui().MAP_picture->pixmap().isNull());
}

TEST_F(MainWindowTest, ClickInTheCheckColumnTicksItsBoxAndSelectsItsRowEverywhere)
{
    fill(5);
    QWidget *check = ui().Listbox10_check->viewport();
    const QRect box = ui().Listbox10_check->visualRect(ui().Listbox10_check->model()->index(2, 0));
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(box.left() + 8, box.center().y()));
    QCoreApplication::processEvents();
    expectSelected(2);
    EXPECT_TRUE(table().isChecked(2));
    EXPECT_FALSE(table().isChecked(1));
    for (QAction *item : {ui().Updatesingle1, ui().Showplayers2, ui().Deleteserver1})
        EXPECT_TRUE(item->isEnabled());
    EXPECT_FALSE(ui().Joinserver1->isEnabled()) << "the check column does not enable the join item";
}

TEST_F(MainWindowTest, KeysInTheCheckColumnMoveTheWholeTableAndSpaceTicksTheSelectedServer)
{
    constexpr int kRows = 100;
    fill(kRows);
    ColumnListView *check = ui().Listbox10_check;
    const int visibleRows = ui().ListBox1_servername->viewport()->height() / kRowHeight;
    struct Case {
        const char *what;
        int start; // the selected row before the key; none: the column is entered with Tab
        Qt::Key key;
        std::function<bool(int)> expectedRow;
    };
    const Case cases[] = {
        {"Down", 2, Qt::Key_Down, [](int row) { return row == 3; }},
        {"Up", 2, Qt::Key_Up, [](int row) { return row == 1; }},
        {"Page Down", 2, Qt::Key_PageDown, [](int row) { return row > 12; }},
        {"End", 2, Qt::Key_End, [](int row) { return row == kRows - 1; }},
        {"Home far down the list", 90, Qt::Key_Home, [](int row) { return row == 0; }},
        {"Up on the first row", 0, Qt::Key_Up, [](int row) { return row == 0; }},
        {"Space after Tab without a selection", -1, Qt::Key_Space, [](int row) { return row == -1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        table().setTopRow(ListBox1_servername, std::max(0, c.start - 10));
        selectInNameColumn(c.start);
        form().syncColumnsNow();
        for (QAction *item : {ui().Showplayers2, ui().Updatesingle1, ui().Deleteserver1})
            item->setEnabled(false);
        QFocusEvent tabIn(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(check, &tabIn);
        QTest::keyClick(check, c.key);
        QCoreApplication::processEvents();

        const int row = table().selectedIndex(ListBox1_servername);
        EXPECT_TRUE(c.expectedRow(row)) << "row " << row;
        expectSelected(row);
        for (QAction *item : {ui().Showplayers2, ui().Updatesingle1, ui().Deleteserver1})
            EXPECT_EQ(item->isEnabled(), row != c.start) << "the check column's click handler runs for a new row";
        for (int column = 0; column < ColumnCount && row >= 0; ++column) {
            const int top = ui().columns[column]->topRow();
            EXPECT_TRUE(top <= row && row < top + visibleRows) << "row in sight in column " << column;
        }

        QTest::keyClick(check, Qt::Key_Space);
        for (int r = 0; r < kRows; ++r)
            ASSERT_EQ(table().isChecked(r), r == row) << "box of row " << r;
        if (row >= 0)
            table().setChecked(row, false);
    }
}

TEST_F(MainWindowTest, RightAndMiddleClicksInTheCheckColumnDoNothing)
{
    fill(6);
    ColumnListView *check = ui().Listbox10_check;
    QWidget *viewport = check->viewport();
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(button == Qt::RightButton ? "right" : "middle");
        selectInNameColumn(2);
        for (QAction *item : {ui().Updatesingle1, ui().Showplayers2, ui().Deleteserver1})
            item->setEnabled(false);
        const QRect box = check->visualRect(check->model()->index(4, 0));
        const QPoint onTheBox(box.left() + 8, box.center().y());
        QTest::mouseClick(viewport, button, {}, onTheBox);
        QTest::mousePress(viewport, button, {}, box.center());
        QTest::mouseMove(viewport, check->visualRect(check->model()->index(5, 0)).center());
        QTest::mouseRelease(viewport, button, {}, check->visualRect(check->model()->index(5, 0)).center());
        QCoreApplication::processEvents();
        expectSelected(2);
        for (int row = 0; row < 6; ++row)
            EXPECT_FALSE(table().isChecked(row)) << row;
        for (QAction *item : {ui().Updatesingle1, ui().Showplayers2, ui().Deleteserver1})
            EXPECT_FALSE(item->isEnabled());
        EXPECT_FALSE(ui().PopupMenu1->isVisible());
    }
}

TEST_F(MainWindowTest, DoubleClickAndJoinButtonRequestTheJoin)
{
    fill(3);
    QSignalSpy joins(&form(), &TForm1::joinRequested);
    QTest::mouseDClick(ui().ListBox4_gametype->viewport(), Qt::LeftButton, {}, rowPoint(1));
    EXPECT_EQ(joins.count(), 1);
    QTest::mouseClick(ui().sSpeedButton11, Qt::LeftButton);
    EXPECT_EQ(joins.count(), 2);
}

// The nine click areas lie over the painted titles; each sorts by its column and keeps its own direction.
TEST_F(MainWindowTest, TitleClicksSortTheTableAndKeepTheSelectedIndex)
{
    fill(4);
    const std::vector<std::string> pings = {"120", "45", "80", "7"};
    for (int row = 0; row < 4; ++row)
        table().setCell(ListBox3_ping, row, pings[static_cast<size_t>(row)]);
    table().setChecked(2, true);
    selectInNameColumn(1);

    struct Case {
        EventLabel *area;
        Column column;
        std::vector<std::string> cells;
    };
    const std::vector<Case> cases = {
        {ui().Image11, ListBox3_ping, {"7", "45", "80", "120"}},
        {ui().Image10, ListBox1_servername, {"Server 3", "Server 2", "Server 1", "Server 0"}},
        {ui().Image11, ListBox3_ping, {"120", "80", "45", "7"}},
        {ui().Image17, Listbox10_check, {"Server 2", "Server 0", "Server 1", "Server 3"}},
    };
    // The name title was clicked once before the second case: make that its second click.
    form().Image10Click();
    for (const auto &c : cases) {
        QTest::mouseClick(c.area, Qt::LeftButton);
        const Column shown = c.column == Listbox10_check ? ListBox1_servername : c.column;
        EXPECT_EQ(table().columnItems(shown), c.cells) << c.area->objectName().toStdString();
        expectSelected(1);
        for (int col = 0; col < ColumnCount; ++col)
            EXPECT_TRUE(ui().columns[col]->isVisible()) << col;
    }
    EXPECT_TRUE(table().isChecked(0));
    EXPECT_EQ(table().cell(ListBox1_servername, 0), "Server 2");
    for (const auto *area : ui().sortAreas) {
        EXPECT_EQ(area->y(), 110);
        EXPECT_TRUE(area->pixmap().isNull());
    }
}

TEST_F(MainWindowTest, F5UpdatesTheSelectedRowAndF1ShowsItsPlayers)
{
    test::UdpServers server(1, [](size_t, const std::string &) {
        return std::vector<test::UdpServers::Send>{
            {0, "\\hostname\\[b]Fresh\\numplayers\\1\\maxplayers\\4\\player_0\\Zed\\score_0\\9\\final\\"}};
    });
    fill(3);
    table().setCell(ListBox6_ipaddress, 1, server.address(0));
    selectInNameColumn(1);
    ColumnListView *name = ui().ListBox1_servername;
    name->setFocus();

    bool disabledWithResult = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (table().cell(ListBox1_servername, 1) == "Fresh" && !ui().Updatesingle1->isEnabled())
            disabledWithResult = true;
    });
    probe.start(20);
    QTest::keyClick(name, Qt::Key_F5);
    probe.stop();
    EXPECT_TRUE(disabledWithResult) << "the item stays disabled through the closing pause";
    EXPECT_TRUE(ui().Updatesingle1->isEnabled());
    EXPECT_EQ(table().cell(ListBox1_servername, 1), "Fresh");
    EXPECT_EQ(table().cell(ListBox2_players, 1), "1/4");
    EXPECT_EQ(table().cell(ListBox1_servername, 0), "Server 0");

    QTest::keyClick(name, Qt::Key_F1);
    ASSERT_FALSE(w.dialogs.shown().empty());
    EXPECT_EQ(w.dialogs.shown().back().kind, DialogKind::Information);
    EXPECT_EQ(w.dialogs.shown().back().text, "Player list:\r\n\r\nZed | Score: 9\r\n");
}

} // namespace
} // namespace pelorix
