#include "shell/widgets/MainWindow.h"

#include "admin/DeleteServer.h"
#include "core/Dialogs.h"
#include "core/EventPump.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/MasterList.h"
#include "launch/GameLaunch.h"
#include "launch/Installations.h"
#include "launch/WaitForSlot.h"
#include "platform/AdminRights.h"
#include "platform/ProcessList.h"
#include "platform/widgets/CursorFile.h"
#include "platform/widgets/MoveGesture.h"
#include "shell/VersionCheck.h"
#include "shell/widgets/AboutBox.h"
#include "shell/FilterSettings.h"
#include "shell/widgets/AddServerWindow.h"
#include "shell/widgets/FilterPanel.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/MessageWindow.h"
#include "shell/widgets/PlainText.h"
#include "shell/widgets/ProxyWindow.h"
#include "shell/widgets/QuitWindow.h"
#include "shell/widgets/Skin.h"
#include "view/PlayerList.h"
#include "view/SingleUpdate.h"
#include "view/widgets/ColumnListView.h"
#include "view/widgets/MapPictureLoader.h"
#include "view/widgets/SyncColumnsHook.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>

namespace pelorix
{

namespace
{

// The eight columns with the shared mouse handlers and PopupMenu1.
constexpr Column kMouseColumns[] = {Column::ListBox1_servername, Column::ListBox2_players, Column::ListBox3_ping,
                                    Column::ListBox4_gametype,   Column::ListBox5_mapname, Column::ListBox6_ipaddress,
                                    Column::ListBox7_mod,        Column::ListBox8_version};

// The nine columns that copy the name column's selection, in the order they are set.
constexpr Column kSelectionFollowers[] = {
    Column::ListBox0_index,    Column::ListBox2_players, Column::ListBox3_ping,
    Column::ListBox4_gametype, Column::ListBox5_mapname, Column::ListBox6_ipaddress,
    Column::ListBox7_mod,      Column::ListBox8_version, Column::Listbox10_check};

} // namespace

TForm1::TForm1(TForm1Services services, ServerTable &table, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_services(std::move(services))
    , m_table(table)
{
    m_ui.setupUi(this);
    m_installations = std::make_unique<GameInstallations>(*m_services.settings, *m_services.dialogs);
    JoinFrontEnd frontEnd;
    frontEnd.showOptionsMenu = [this] { m_ui.PopupMenu2->popup(QCursor::pos()); };
    frontEnd.clearJoinBoxes = [this] {
        for (int row = 0; row < m_table.rowCount(Column::Listbox10_check); ++row)
            m_table.setChecked(row, false);
    };
    frontEnd.minimize = [this] { showMinimized(); };
    frontEnd.isProcessRunning = m_services.isProcessRunning ? m_services.isProcessRunning : IsProcessRunning;
    frontEnd.start = m_services.startGame
                         ? m_services.startGame
                         : [](const std::string &executable, const std::string &line, const std::string &folder) {
                               return startGame(planGameStart(executable, line, folder));
                           };
    m_launch =
        std::make_unique<GameLaunch>(*m_installations, *m_services.settings, *m_services.dialogs, std::move(frontEnd));
    connectHandlers();
    connectColumns();
    connectTableFeatures();
}

TForm1::~TForm1() = default;

const std::array<std::string, 3> &TForm1::ExecutablePaths() const
{
    return m_installations->ExecutablePaths();
}

void TForm1::connectHandlers()
{
    const MainWindowUi &ui = m_ui;
    connect(ui.Image1, &EventLabel::mousePressed, this, &TForm1::Image1MouseDown);
    connect(ui.Image1, &EventLabel::mouseMoved, this, &TForm1::Image1MouseMove);
    connect(ui.Label3, &EventLabel::clicked, this, &TForm1::Label3Click);
    connect(ui.bottom_label, &EventLabel::clicked, this, &TForm1::bottom_labelClick);
    ui.Name_edit->installEventFilter(this);
    connect(ui.Name_edit, &QLineEdit::textChanged, this, &TForm1::Name_editChange);

    connect(ui.sSpeedButton5, &PictureButton::mouseMoved, this, &TForm1::sSpeedButton5MouseMove);
    connect(ui.sSpeedButton7, &PictureButton::mouseMoved, this, &TForm1::SpeedButton1MouseMove);
    connect(ui.sSpeedButton6, &PictureButton::mouseMoved, this, &TForm1::sSpeedButton6MouseMove);
    connect(ui.sSpeedButton8, &PictureButton::mouseMoved, this, &TForm1::refresh_imageMouseMove);
    connect(ui.sSpeedButton9, &PictureButton::mouseMoved, this, &TForm1::Image5MouseMove);
    connect(ui.sSpeedButton10, &PictureButton::mouseMoved, this, &TForm1::Image4MouseMove);
    connect(ui.sSpeedButton11, &PictureButton::mouseMoved, this, &TForm1::Join_imageMouseMove);
    connect(ui.sSpeedButton5, &QAbstractButton::clicked, this, &TForm1::Image3click);
    connect(ui.sSpeedButton7, &QAbstractButton::clicked, this, &TForm1::sSpeedButton7Click);
    connect(ui.sSpeedButton6, &QAbstractButton::clicked, this, &TForm1::Image1_quitClick);
    connect(ui.sSpeedButton8, &QAbstractButton::clicked, this, &TForm1::refresh_imageClick);
    connect(ui.sSpeedButton9, &QAbstractButton::clicked, this, &TForm1::Image5Click);
    connect(ui.sSpeedButton1, &QAbstractButton::clicked, this, &TForm1::Image6Click);
    connect(ui.sSpeedButton2, &QAbstractButton::clicked, this, &TForm1::Image2Click);
    connect(ui.directIP_panel, &EventLabel::mousePressed, this, &TForm1::directIP_panelMouseDown);
    connect(ui.directIP_panel, &EventLabel::clicked, this, &TForm1::directIP_panelClick);
    connect(ui.sSpeedButton11, &QAbstractButton::clicked, this, &TForm1::Join_imageClick);
    connect(ui.cancel_ping_button, &QPushButton::clicked, this, &TForm1::cancel_ping_buttonClick);

    connect(ui.Joinserver1, &QAction::triggered, this, &TForm1::joinSelectedServer);
    connect(ui.Deleteserver1, &QAction::triggered, this, &TForm1::Deleteserver1Click);
    connect(ui.SelectVEKTA410executable1, &QAction::triggered, this, &TForm1::SelectVEKTA410executable1Click);
    connect(ui.SelectVEKTA411executable1, &QAction::triggered, this, &TForm1::SelectVEKTA411executable1Click);
    connect(ui.SelectVEKTA4DVHexecutable1, &QAction::triggered, this, &TForm1::SelectVEKTA4DVHexecutable1Click);
    connect(ui.S1, &QAction::triggered, this, &TForm1::S1Click);
    connect(ui.Proxysetup1, &QAction::triggered, this, &TForm1::Proxysetup1Click);
    connect(ui.G1, &QAction::triggered, this, &TForm1::G1Click);
    connect(ui.Messageoftheday1, &QAction::triggered, this, &TForm1::Messageoftheday1Click);
    connect(ui.About1, &QAction::triggered, this, &TForm1::About1Click);

    connect(ui.Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    connect(ui.Thread_killer, &QTimer::timeout, this, &TForm1::Thread_killerTimer);
    connect(ui.Timer_join, &QTimer::timeout, this, &TForm1::Timer_joinTimer);
}

void TForm1::connectColumns()
{
    for (Column c : kMouseColumns) {
        ColumnListView *view = m_ui.columns[c];
        connect(view, &ColumnListView::mousePressed, this,
                [this, view](QMouseEvent *e) { ListBox1_servernameMouseDown(view, e); });
        connect(view, &ColumnListView::mouseMoved, this,
                [this, view](QMouseEvent *e) { ListBox1_servernameMouseMove(view, e); });
        connect(view, &ColumnListView::mouseReleased, this,
                [this, view](QMouseEvent *e) { ListBox1_servernameMouseUp(view, e); });
        connect(view, &ColumnListView::mouseDoubleClicked, this, [this](QMouseEvent *e) {
            if (e->button() == Qt::LeftButton)
                ListBox1_servernameDblClick();
        });
        connect(view, &ColumnListView::keyPressed, this, [this, c](QKeyEvent *e) {
            if (popupShortcut(e))
                e->accept();
            else if (c == Column::ListBox1_servername)
                ListBox1_servernameKeyDown(e);
        });
        // A keyboard selection change in any of the eight runs the click handler (in the others it is undone).
        connect(view, &ColumnListView::userSelectionChanged, this, [this] { ListBox1_servernameClick(); });
    }
    connect(m_ui.ListBox1_servername, &ColumnListView::scrollBarStep, this, &TForm1::ListBox1_servernameVScroll);

    ColumnListView *check = m_ui.Listbox10_check;
    connect(check, &ColumnListView::mouseMoved, this, [this] { setHover(selectServerText()); });
    // The check column keeps the list's own handling (the box toggles on a click); its row is taken at the press.
    connect(check, &ColumnListView::mousePressed, this, [this, check](QMouseEvent *e) {
        if (e->button() == Qt::LeftButton)
            m_table.setSelectedIndex(Column::Listbox10_check, check->indexAt(e->position().toPoint()).row());
    });
    connect(check, &ColumnListView::mouseReleased, this, [this](QMouseEvent *e) {
        if (e->button() == Qt::LeftButton)
            QTimer::singleShot(0, this, [this] { Listbox10_checkClick(); });
    });
    // The check column's own selection changes (keys, a drag) go through its click handler, so the whole table
    // selects that row; the table scrolls with the list, which keeps the row in sight.
    connect(check, &ColumnListView::userSelectionChanged, this, [this](int row) {
        Listbox10_checkClick();
        showRow(row);
    });
}

void TForm1::connectTableFeatures()
{
    const MainWindowUi &ui = m_ui;
    using Handler = void (TForm1::*)();
    const std::array<Handler, kSortAreaCount> sortHandlers = {
        &TForm1::Image10Click, &TForm1::Image9Click,  &TForm1::Image11Click,
        &TForm1::Image12Click, &TForm1::Image13Click, &TForm1::Image14Click,
        &TForm1::Image15Click, &TForm1::Image16Click, &TForm1::Image17Click};
    for (size_t k = 0; k < sortHandlers.size(); ++k)
        connect(ui.sortAreas[k], &EventLabel::clicked, this, sortHandlers[k]);
    connect(ui.Updatesingle1, &QAction::triggered, this, &TForm1::Updatesingle1Click);
    connect(ui.Showplayers2, &QAction::triggered, this, &TForm1::Showplayers2Click);

    FilterPanel *panel = ui.Panel1;
    connect(ui.sSpeedButton10, &QAbstractButton::clicked, this, &TForm1::Image4Click);
    connect(panel->sSpeedButton4, &QAbstractButton::clicked, this, &TForm1::Image8Click);
    connect(panel->sSpeedButton3, &QAbstractButton::clicked, this, &TForm1::Image7Click);
    connect(panel->JvgCheckBox1, &QAbstractButton::clicked, this, &TForm1::JvgCheckBox1Click);
    connect(panel->JvgCheckBox3, &QAbstractButton::clicked, this, &TForm1::JvgCheckBox3Click);
    connect(panel->JvgCheckBox7, &QAbstractButton::clicked, this, &TForm1::JvgCheckBox7Click);
    connect(panel->Label4, &EventLabel::doubleClicked, this, &TForm1::Label4DblClick);
    connect(panel, &FilterPanel::clicked, this, &TForm1::Panel1Click);
    connect(panel, &FilterPanel::mousePressed, this, &TForm1::Panel1MouseDown);
    connect(panel->button_findplayer, &QAbstractButton::clicked, this, &TForm1::button_findplayerClick);
    // The refresh's final pass reads "Hide Non Accessible Servers" from the box, whatever changes it.
    connect(panel->JvgCheckBox2, &QAbstractButton::toggled, this, [this](bool checked) {
        if (m_engine.refresh)
            m_engine.refresh->setJvgCheckBox2(checked);
    });
}

void TForm1::setEngine(const TForm1Engine &engine)
{
    m_engine = engine;
    if (m_engine.refresh)
        m_engine.refresh->setJvgCheckBox2(m_ui.Panel1->JvgCheckBox2->isChecked());
}

void TForm1::sortByArea(int area)
{
    // A refresh fills the table row by row from its own lists: a sort in between would be undone or mix rows.
    if (m_engine.refresh && m_engine.refresh->refreshInProgress())
        return;
    m_sorter.sortByArea(m_table, area);
}

void TForm1::Image10Click()
{
    sortByArea(0);
}

void TForm1::Image9Click()
{
    sortByArea(1);
}

void TForm1::Image11Click()
{
    sortByArea(2);
}

void TForm1::Image12Click()
{
    sortByArea(3);
}

void TForm1::Image13Click()
{
    sortByArea(4);
}

void TForm1::Image14Click()
{
    sortByArea(5);
}

void TForm1::Image15Click()
{
    sortByArea(6);
}

void TForm1::Image16Click()
{
    sortByArea(7);
}

void TForm1::Image17Click()
{
    sortByArea(8);
}

void TForm1::Updatesingle1Click()
{
    QAction *item = m_ui.Updatesingle1;
    Updatesingle(
        m_table, *m_services.pump, *m_services.dialogs, [item] { return item->isEnabled(); },
        [item](bool enabled) { item->setEnabled(enabled); });
}

void TForm1::Showplayers2Click()
{
    Showplayers(m_table, *m_services.pump, *m_services.dialogs, m_playerListFollowUps);
}

void TForm1::Image4Click()
{
    FilterPanel *panel = m_ui.Panel1;
    CenterPanel(panel);
    // The name column is hidden while a refresh runs: no panel then.
    if (!m_table.column(Column::ListBox1_servername).visible)
        return;
    panel->setState(LoadFilterPanelState(*m_services.settings));
    panel->show();
    panel->raise();
}

void TForm1::Image8Click()
{
    StoreFilterPanelState(*m_services.settings, m_ui.Panel1->state());
    m_ui.Panel1->hide();
    refresh_imageClick();
}

void TForm1::Image7Click()
{
    m_ui.Panel1->hide();
}

void TForm1::JvgCheckBox1Click()
{
    m_ui.Panel1->JvSpinEdit1->setEnabled(m_ui.Panel1->JvgCheckBox1->isChecked());
}

void TForm1::JvgCheckBox3Click()
{
    m_ui.Panel1->ComboBox1->setEnabled(m_ui.Panel1->JvgCheckBox3->isChecked());
}

void TForm1::JvgCheckBox7Click()
{
    m_ui.Panel1->ComboBox2->setEnabled(m_ui.Panel1->JvgCheckBox7->isChecked());
}

void TForm1::Label4DblClick()
{
    m_ui.Panel1->JvgCheckBox2->setEnabled(true);
}

void TForm1::Panel1Click()
{
    m_ui.Panel1->raise();
}

void TForm1::Panel1MouseDown(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        startMoveGesture(m_ui.Panel1, event->globalPosition().toPoint());
}

void TForm1::button_findplayerClick()
{
    const auto name = m_services.dialogs->prompt("Find player", "Name:", "", false);
    m_engine.refresh->SearchedPlayer = name.value_or(std::string());
    if (!m_engine.refresh->SearchedPlayer.empty())
        Image8Click();
}

void TForm1::FormDestroy()
{
    m_ui.Timer2->stop();
    m_ui.Thread_killer->stop();
    m_ui.Timer_join->stop();
}

void TForm1::setForms(TForm2 *form2, TForm4 *form4, TForm5 *form5, TForm6 *form6)
{
    m_form2 = form2;
    m_form4 = form4;
    m_form5 = form5;
    m_form6 = form6;
}

bool TForm1::FormCreate()
{
    SettingsStore &settings = *m_services.settings;
    Dialogs &dialogs = *m_services.dialogs;
    const MainWindowUi &ui = m_ui;

    // The version is ProgramVersion; the white list, when its file exists, with its notice (also when the
    // file cannot be read and so filters nothing).
    WhiteListFile whiteList = LoadWhiteList(m_services.programFolder);
    ui.Label3->setVisible(whiteList.exists);

    // The refresh engine holds ThreadRegistry, ProcessorCount and the reply lists.
    m_engine.refresh->setProgramFolder(m_services.programFolder);
    m_engine.refresh->setWhiteList(std::move(whiteList.entries));
    m_table.ReshowColumns = false;

    CenterPanel(ui.update_panel);
    ui.Label_players->setText(QStringLiteral("Players online:\tN/A"));
    ui.label_servers->setText(QStringLiteral("Servers online:\tN/A"));
    ui.Label_serverall->setText(QStringLiteral("Total server count: N/A"));

    // Without the rights the program cannot keep its files: say so and end in order.
    if (!hasAdminRights(m_services.programFolder)) {
        ui.Timer2->stop();
        dialogs.message(DialogKind::Error,
                        "Please run the application as administrator!\r\nUnable to start without admin rights.");
        return false;
    }

    // The grey skin and the hook that keeps the columns together.
    if (auto *application = qobject_cast<QApplication *>(QCoreApplication::instance()))
        applySkin(*application);
    m_engine.syncHook->install();

    // CookieJar and MasterList live in the web client and the refresh engine; the store is open.
    m_installations->loadExecutablePaths();

    if (!m_services.arguments.isEmpty() && m_services.arguments.front().toLower() == QStringLiteral("safe"))
        settings.WriteBool("ignoreping", true);

    // Filling the box is a change as well and is written back.
    ui.Name_edit->setText(toQString(settings.ReadString("nick", "Player123")));

    m_engine.version->CheckVersion();
    ui.Label29->setText(toQString(m_engine.version->Label29Text()));

    // The cursor file, or one beep.
    if (const auto cursor = loadCursorFile(m_services.cursorFile))
        setCursor(*cursor);
    else
        QApplication::beep();

    ui.Thread_killer->start();
    ui.Timer2->start();
    // The wait for a free slot ticks from start-up on.
    ui.Timer_join->start();
    return true;
}

void TForm1::Timer2Timer()
{
    VersionCheck &version = *m_engine.version;
    if (m_form5)
        m_form5->Memo1->setPlainText(toQString(version.MotdText()));
    if (version.ShowNewMessage())
        showMessageWindow();
    CenterPanel(m_ui.sprogressbar2);
    if (!version.OfferUpdate())
        return;
    m_ui.Timer2->stop();
    m_services.pump->processPendingEvents();
    if (version.LatestVersion() == ProgramVersion)
        refresh_imageClick();
}

void TForm1::setUpdatePanelVisible(bool visible)
{
    m_ui.update_panel->setVisible(visible);
    if (!visible)
        return;
    m_ui.update_panel->raise();
    m_services.pump->processPendingEvents();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TForm1::FormCloseQuery()
{
    // The system's close command and Alt+F4 show the quit window, as the Quit button does; only its YES ends.
    Image1_quitClick();
    return false;
}

void TForm1::Image1MouseDown(QMouseEvent *event)
{
    // Any button starts the move gesture.
    startMoveGesture(this, event->globalPosition().toPoint());
}

void TForm1::Image1MouseMove()
{
    setHover(QString());
}

void TForm1::sSpeedButton5MouseMove()
{
    setHover(QStringLiteral("Add server to the list"));
}

void TForm1::SpeedButton1MouseMove()
{
    setHover(QStringLiteral("Options"));
}

void TForm1::sSpeedButton6MouseMove()
{
    setHover(QStringLiteral("Quit application"));
}

void TForm1::refresh_imageMouseMove()
{
    setHover(QStringLiteral("Refresh server list"));
}

void TForm1::Image5MouseMove()
{
    setHover(QStringLiteral("Connect to server using IP directly"));
}

void TForm1::Image4MouseMove()
{
    setHover(QStringLiteral("Set server filters"));
}

void TForm1::Join_imageMouseMove()
{
    setHover(QStringLiteral("Join selected server"));
}

void TForm1::Name_editMouseMove()
{
    setHover(QStringLiteral("Set your multiplayer nick name"));
}

void TForm1::showModal(QWidget *window)
{
    if (!window)
        return;
    // Modal without a nested loop: the main window takes no input while it is open, and the caller returns.
    window->setWindowModality(Qt::ApplicationModal);
    const QRect frame = geometry();
    window->move(frame.center() - QPoint(window->width() / 2, window->height() / 2));
    window->show();
    window->raise();
    window->activateWindow();
}

void TForm1::Image1_quitClick()
{
    showModal(m_form4);
}

void TForm1::Name_editChange()
{
    m_services.settings->WriteString("nick", fromQString(m_ui.Name_edit->text()));
}

void TForm1::syncColumnsNow()
{
    m_engine.syncHook->run();
}

void TForm1::ListBox1_servernameClick()
{
    const int selected = m_table.selectedIndex(Column::ListBox1_servername);
    if (selected >= 0) {
        for (QAction *action : {m_ui.Joinserver1, m_ui.Showplayers2, m_ui.Updatesingle1, m_ui.Deleteserver1})
            action->setEnabled(true);
    }
    for (Column c : kSelectionFollowers)
        m_table.setSelectedIndex(c, selected);
    ShowMapPicture();
}

void TForm1::selectRowAt(int y)
{
    int row = m_ui.ListBox1_servername->topRow() + (y < 0 ? -1 : y / ColumnListView::kRowHeight);
    if (row < 0 || row >= m_table.rowCount(Column::ListBox1_servername))
        row = -1;
    for (int c = 0; c < ColumnCount; ++c)
        m_table.setSelectedIndex(static_cast<Column>(c), row);
}

void TForm1::showRow(int row)
{
    if (row < 0)
        return;
    const int visible = std::max(1, m_ui.ListBox1_servername->viewport()->height() / ColumnListView::kRowHeight);
    const int top = m_table.column(Column::ListBox1_servername).topRow;
    // The other columns follow the name column's top row at the next SyncColumns.
    if (row < top)
        m_table.setTopRow(Column::ListBox1_servername, row);
    else if (row >= top + visible)
        m_table.setTopRow(Column::ListBox1_servername, row - visible + 1);
}

void TForm1::ListBox1_servernameMouseDown(ColumnListView *, QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        m_ui.PopupMenu1->popup(event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_dragSelecting = true;
    selectRowAt(qFloor(event->position().y()));
}

void TForm1::ListBox1_servernameMouseMove(ColumnListView *, QMouseEvent *event)
{
    if (m_dragSelecting)
        selectRowAt(qFloor(event->position().y()));
    setHover(selectServerText());
    m_ui.ListBox1_servername->setToolTip(plainToolTip(
        QStringLiteral("There are %1 servers available.").arg(m_table.rowCount(Column::ListBox1_servername))));
}

void TForm1::ListBox1_servernameMouseUp(ColumnListView *, QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragSelecting = false;
    // The list's own selection-change notice follows the release of a click.
    ListBox1_servernameClick();
}

void TForm1::ListBox1_servernameDblClick()
{
    joinSelectedServer();
}

bool TForm1::popupShortcut(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::NoModifier)
        return false;
    QAction *action = nullptr;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        action = m_ui.Joinserver1;
        break;
    case Qt::Key_F5:
        action = m_ui.Updatesingle1;
        break;
    case Qt::Key_F1:
        action = m_ui.Showplayers2;
        break;
    case Qt::Key_Delete:
        action = m_ui.Deleteserver1;
        break;
    default:
        return false;
    }
    if (action->isEnabled())
        action->trigger();
    return true;
}

void TForm1::ListBox1_servernameKeyDown(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier && event->key() == Qt::Key_C) {
        const int row = m_table.selectedIndex(Column::ListBox1_servername);
        if (row >= 0 && row < m_table.rowCount(Column::ListBox6_ipaddress))
            QGuiApplication::clipboard()->setText(toQString(m_table.cell(Column::ListBox6_ipaddress, row)));
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        joinSelectedServer();
}

void TForm1::ListBox1_servernameVScroll()
{
    m_table.ReshowColumns = true;
    m_table.SetColumnsVisible(false, false);
    for (Column c :
         {Column::ListBox5_mapname, Column::ListBox2_players, Column::ListBox3_ping, Column::ListBox4_gametype,
          Column::ListBox6_ipaddress, Column::ListBox7_mod, Column::ListBox8_version, Column::Listbox10_check})
        m_table.setEnabled(c, false);
}

void TForm1::Listbox10_checkClick()
{
    const int row = m_table.selectedIndex(Column::Listbox10_check);
    // One box at most: the selected row's.
    for (int i = 0; i < m_table.rowCount(Column::Listbox10_check); ++i) {
        if (i != row && m_table.isChecked(i))
            m_table.setChecked(i, false);
    }
    for (QAction *action : {m_ui.Showplayers2, m_ui.Updatesingle1, m_ui.Deleteserver1})
        action->setEnabled(true);
    for (int c = 0; c < Column::Listbox10_check; ++c)
        m_table.setSelectedIndex(static_cast<Column>(c), row);
    ShowMapPicture();
}

void TForm1::Timer_joinTimer()
{
    const auto cell = [this](Column c, int row) {
        return row < m_table.rowCount(c) ? m_table.cell(c, row) : std::string();
    };
    // The wait follows the checked row, wherever the selection went: it is selected before it is asked and
    // again before it is joined.
    const auto selectRow = [this](int row) {
        for (int c = 0; c <= Column::Listbox10_check; ++c)
            m_table.setSelectedIndex(static_cast<Column>(c), row);
    };
    for (int row = 0; row < m_table.rowCount(Column::Listbox10_check); ++row) {
        if (!m_table.isChecked(row))
            continue;
        selectRow(row);
        // The count shown before this tick's update decides; the update's own count decides the next tick.
        const std::string players = cell(Column::ListBox2_players, row);
        const std::string address = cell(Column::ListBox6_ipaddress, row);
        Updatesingle1Click();
        // The update handled the window's events: a refresh, a sort or the user may have ended or moved the wait.
        if (row >= m_table.rowCount(Column::Listbox10_check) || !m_table.isChecked(row) ||
            cell(Column::ListBox6_ipaddress, row) != address)
            return;
        switch (SlotStateOf(players)) {
        case SlotState::Unknown:
            return;
        case SlotState::Full:
            continue;
        case SlotState::Free:
            break;
        }
        // One shot: the boxes go before the join, so a refused join ends the wait.
        for (int i = 0; i < m_table.rowCount(Column::Listbox10_check); ++i)
            m_table.setChecked(i, false);
        if (m_services.beep)
            m_services.beep();
        else
            QApplication::beep();
        selectRow(row);
        Join_imageClick();
    }
}

void TForm1::ShowMapPicture()
{
    const int row = m_table.selectedIndex(Column::ListBox5_mapname);
    if (row < 0 || row >= m_table.rowCount(Column::ListBox5_mapname))
        return;
    pelorix::ShowMapPicture(m_ui.MAP_picture,
                            std::vector<std::string>{m_services.programFolder, m_services.sharedFolder},
                            m_table.cell(Column::ListBox5_mapname, row));
}

void TForm1::joinSelectedServer()
{
    // The Join button, the popup item, Enter and the double click all start the join here.
    Join_imageClick();
}

void TForm1::setHover(const QString &text)
{
    if (m_ui.Label1->text() != text)
        m_ui.Label1->setText(text);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui.Name_edit && (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter))
        Name_editMouseMove();
    return QWidget::eventFilter(watched, event);
}

void TForm1::Image3click()
{
    showModal(m_form3);
}

void TForm1::Deleteserver1Click()
{
    if (!m_engine.deletion)
        return;
    const int addressRow = m_table.selectedIndex(Column::ListBox6_ipaddress);
    const std::string address = addressRow >= 0 && addressRow < m_table.rowCount(Column::ListBox6_ipaddress)
                                    ? m_table.cell(Column::ListBox6_ipaddress, addressRow)
                                    : std::string();
    switch (m_engine.deletion->Run(address)) {
    case DeleteOutcome::Deleted: {
        const int row = m_table.selectedIndex(Column::ListBox1_servername);
        if (row >= 0 && row < m_table.rowCount(Column::ListBox1_servername))
            m_table.DeleteRow(row);
        break;
    }
    case DeleteOutcome::Locked:
        if (m_services.endInOrder)
            m_services.endInOrder();
        else
            QCoreApplication::exit(0);
        break;
    case DeleteOutcome::NoSelection:
    case DeleteOutcome::Refused:
    case DeleteOutcome::Unreachable:
        break;
    }
}

void TForm1::sSpeedButton7Click()
{
    m_ui.PopupMenu2->popup(QCursor::pos());
}

void TForm1::refresh_imageClick()
{
    m_engine.refresh->refresh_imageClick();
}

void TForm1::Join_imageClick()
{
    emit joinRequested();
    const auto cell = [this](Column c, int row) {
        return row < m_table.rowCount(c) ? m_table.cell(c, row) : std::string();
    };
    std::optional<JoinRow> selected;
    const int row = m_table.selectedIndex(Column::ListBox1_servername);
    if (row >= 0 && row < m_table.rowCount(Column::ListBox1_servername)) {
        selected = JoinRow{cell(Column::ListBox0_index, row),   cell(Column::ListBox1_servername, row),
                           cell(Column::ListBox2_players, row), cell(Column::ListBox6_ipaddress, row),
                           cell(Column::ListBox7_mod, row),     cell(Column::ListBox8_version, row)};
    }
    std::optional<std::string> checkedAddress;
    for (int i = 0; i < m_table.rowCount(Column::Listbox10_check); ++i) {
        if (m_table.isChecked(i))
            checkedAddress = cell(Column::ListBox6_ipaddress, i);
    }
    m_launch->joinRow(selected, checkedAddress, fromQString(m_ui.Name_edit->text()));
}

void TForm1::SelectVEKTA410executable1Click()
{
    m_installations->selectExecutable(GameExecutable::Vekta410);
}

void TForm1::SelectVEKTA411executable1Click()
{
    m_installations->selectExecutable(GameExecutable::Vekta411);
}

void TForm1::SelectVEKTA4DVHexecutable1Click()
{
    m_installations->selectExecutable(GameExecutable::Vekta4Dvh);
}

void TForm1::S1Click()
{
    m_installations->selectExecutable(GameExecutable::Mod);
}

void TForm1::Image5Click()
{
    CenterPanel(m_ui.directIP_panel);
    m_ui.directIP_panel->setVisible(m_ui.directIP_panel->isHidden());
}

void TForm1::Image2Click()
{
    m_ui.directIP_panel->hide();
}

void TForm1::directIP_panelMouseDown(QMouseEvent *event)
{
    startMoveGesture(m_ui.directIP_panel, event->globalPosition().toPoint());
}

void TForm1::directIP_panelClick()
{
    m_ui.directIP_panel->raise();
}

void TForm1::Image6Click()
{
    std::string address = fromQString(m_ui.Edit1->text());
    std::erase(address, ' ');
    m_ui.Edit1->setText(toQString(address));
    m_launch->directConnect(address, m_ui.ComboBox3->currentIndex(), fromQString(m_ui.Edit2->text()));
}

void TForm1::cancel_ping_buttonClick()
{
    m_engine.refresh->cancel_ping_buttonClick();
}

void TForm1::Thread_killerTimer()
{
    if (m_engine.refresh)
        m_engine.refresh->Thread_killerTimer();
}

void TForm1::G1Click()
{
    pelorix::G1Click(m_table, *m_services.dialogs);
}

void TForm1::Label3Click()
{
    pelorix::Label3Click(m_services.programFolder, *m_services.dialogs);
}

void TForm1::Proxysetup1Click()
{
    showModal(m_form6);
    centreOnScreen(m_form6);
}

void TForm1::Messageoftheday1Click()
{
    showMessageWindow();
}

void TForm1::showMessageWindow()
{
    if (!m_form5)
        return;
    m_form5->show();
    centreOnScreen(m_form5);
    m_form5->raise();
}

void TForm1::centreOnScreen(QWidget *window)
{
    if (!window)
        return;
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        window->move(screen->availableGeometry().center() - QPoint(window->width() / 2, window->height() / 2));
}

void TForm1::About1Click()
{
    if (!m_form2)
        return;
    m_form2->Label1->setText(QString::fromLatin1(ProgramVersion));
    showModal(m_form2);
}

void TForm1::bottom_labelClick()
{
    showModal(m_form2);
}

void TForm1::setCacheLabelVisible(bool visible)
{
    m_ui.Label_Cache->setVisible(visible);
}

void TForm1::setTotalLabel(const std::string &text)
{
    m_ui.Label_serverall->setText(toQString(text));
}

void TForm1::setProgressPanelVisible(bool visible)
{
    m_ui.sprogressbar2->setVisible(visible);
    if (visible)
        m_ui.sprogressbar2->raise();
}

bool TForm1::isProgressPanelVisible() const
{
    return !m_ui.sprogressbar2->isHidden();
}

void TForm1::setProgressMaximum(int maximum)
{
    // A range of 0..0 would turn the bar into a busy indicator; the bar stays a plain one for every list size.
    m_ui.ProgressBar->setRange(0, std::max(1, maximum));
}

void TForm1::setProgressPosition(int position)
{
    m_ui.ProgressBar->setValue(position);
}

void TForm1::setCancelCaption(const std::string &caption)
{
    m_ui.cancel_ping_button->setText(toQString(caption));
}

void TForm1::setPlayersLabel(const std::string &text)
{
    m_ui.Label_players->setText(toQString(text));
}

void TForm1::setServersLabel(const std::string &text)
{
    m_ui.label_servers->setText(toQString(text));
}

void TForm1::clearMapPicture()
{
    m_ui.MAP_picture->clear();
}

void TForm1::setMenuItemEnabled(RefreshMenuItem item, bool enabled)
{
    switch (item) {
    case RefreshMenuItem::Showplayers2:
        m_ui.Showplayers2->setEnabled(enabled);
        break;
    case RefreshMenuItem::Updatesingle1:
        m_ui.Updatesingle1->setEnabled(enabled);
        break;
    case RefreshMenuItem::Joinserver1:
        m_ui.Joinserver1->setEnabled(enabled);
        break;
    }
}

} // namespace pelorix
