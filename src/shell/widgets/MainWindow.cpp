#include "shell/widgets/MainWindow.h"

#include "core/Dialogs.h"
#include "core/EventPump.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/MasterList.h"
#include "discovery/WebClient.h"
#include "platform/AdminRights.h"
#include "platform/widgets/CursorFile.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/MoveGesture.h"
#include "shell/VersionCheck.h"
#include "shell/widgets/AboutBox.h"
#include "shell/widgets/Artwork.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/MessageWindow.h"
#include "shell/widgets/PlainText.h"
#include "shell/widgets/ProxyWindow.h"
#include "shell/widgets/QuitWindow.h"
#include "shell/widgets/Skin.h"
#include "view/widgets/ColumnListView.h"
#include "view/widgets/MapPictureLoader.h"
#include "view/widgets/SyncColumnsHook.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace pelorix
{

namespace
{

constexpr int kWidth = 1123;
constexpr int kHeight = 712;
constexpr int kColumnsTop = 136;
constexpr int kColumnsHeight = 518;

struct ColumnGeometry {
    Column column;
    int left;
    int width;
};

constexpr ColumnGeometry kColumnGeometry[] = {
    {ListBox0_index, 11, 32},       {ListBox1_servername, 46, 209}, {ListBox2_players, 256, 81},
    {ListBox3_ping, 338, 53},       {ListBox4_gametype, 392, 152},  {ListBox5_mapname, 545, 230},
    {ListBox6_ipaddress, 777, 137}, {ListBox7_mod, 915, 64},        {ListBox8_version, 981, 67},
    {Listbox10_check, 1050, 64},
};

// The eight columns with the shared mouse handlers and PopupMenu1.
constexpr Column kMouseColumns[] = {Column::ListBox1_servername, Column::ListBox2_players, Column::ListBox3_ping,
                                    Column::ListBox4_gametype,   Column::ListBox5_mapname, Column::ListBox6_ipaddress,
                                    Column::ListBox7_mod,        Column::ListBox8_version};

// The nine columns that copy the name column's selection, in the order they are set.
constexpr Column kSelectionFollowers[] = {
    Column::ListBox0_index,    Column::ListBox2_players, Column::ListBox3_ping,
    Column::ListBox4_gametype, Column::ListBox5_mapname, Column::ListBox6_ipaddress,
    Column::ListBox7_mod,      Column::ListBox8_version, Column::Listbox10_check};

const QString kSelectServer = QStringLiteral("Select a server to connect to.");

QLabel *makeLabel(QWidget *parent, const QString &text, int x, int y, const QFont &font, const QString &style)
{
    QLabel *label = plainLabel(text, parent);
    label->setFont(font);
    label->setStyleSheet(style);
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

TForm1::TForm1(TForm1Services services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_services(std::move(services))
{
    setObjectName(QStringLiteral("TForm1"));
    setWindowTitle(QStringLiteral("Pelorix"));
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setFont(pelorixFont(FontRole::Sans, 11));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));

    createControls();
    createColumns();
    createPanels();
    createMenus();
    connectButtons();

    Timer2 = new QTimer(this);
    Timer2->setInterval(500);
    Timer2->setSingleShot(true);
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    Thread_killer = new QTimer(this);
    Thread_killer->setInterval(1000);
    connect(Thread_killer, &QTimer::timeout, this, [this] { Thread_killerTimer(); });
}

TForm1::~TForm1()
{
    FormDestroy();
}

void TForm1::FormDestroy()
{
    // The refresh's threads are joined, and the column views (observers of the table) go, before the table does.
    m_refresh.reset();
    m_syncHook.reset();
    for (ColumnListView *&view : m_columns) {
        delete view;
        view = nullptr;
    }
}

void TForm1::createControls()
{
    Image1 = new EventLabel(this);
    Image1->setGeometry(0, 0, kWidth, 692);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(backgroundPixmap());
    Image1->onMousePress = [this](QMouseEvent *event) { Image1MouseDown(event); };
    Image1->onMouseMove = [this](QMouseEvent *) { Image1MouseMove(); };

    const QString white = QStringLiteral("color: white; background: transparent;");
    Label1 = makeLabel(this, kSelectServer, 9, 91, pelorixFont(FontRole::Sans, 13, true), white);
    Label1->resize(560, 17);
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Label2 = makeLabel(this, QStringLiteral("Please Enter Your Name Here"), 8, 656,
                       pelorixFont(FontRole::Sans, 13, true), white);

    Name_edit = new QLineEdit(this);
    Name_edit->setGeometry(8, 674, 241, 22);
    Name_edit->setFont(pelorixFont(FontRole::Sans, 13, true));
    Name_edit->setMouseTracking(true);
    Name_edit->installEventFilter(this);

    const QString grey = QStringLiteral("color: #a0a0a0; background: transparent;");
    const QFont statistics = pelorixFont(FontRole::Sans, 11, true);
    Label_players = makeLabel(this, QString(), 969, 53, statistics, grey);
    label_servers = makeLabel(this, QString(), 969, 71, statistics, grey);
    Label_serverall = makeLabel(this, QString(), 969, 90, statistics, grey);
    for (QLabel *label : {Label_players, label_servers, Label_serverall})
        label->resize(150, 15);

    Label3 = new EventLabel(this);
    Label3->setText(QStringLiteral("White list is in use [?]"));
    Label3->setFont(pelorixFont(FontRole::Sans, 11, true));
    Label3->setStyleSheet(QStringLiteral("color: #ff8c00; background: transparent;"));
    Label3->move(195, 16);
    Label3->adjustSize();
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->onClick = [this] { Label3Click(); };

    MAP_picture = plainLabel(QString(), this);
    MAP_picture->setGeometry(601, 15, 113, 89);
    MAP_picture->setAlignment(Qt::AlignCenter);
    MAP_picture->setStyleSheet(QStringLiteral("background: black;"));

    bottom_label = new EventLabel(this);
    bottom_label->setGeometry(0, kHeight - 11, kWidth, 11);
    bottom_label->setAlignment(Qt::AlignCenter);
    bottom_label->setFont(pelorixFont(FontRole::Mono, 11));
    bottom_label->setStyleSheet(QStringLiteral("color: white; background: rgb(0, 64, 128);"));
    bottom_label->setText(QStringLiteral("Pelorix - VEKTA 4 server browser - 2017 - the Pelorix authors - ") +
                          QString::fromLatin1(TForm2::kHomePage));
    bottom_label->onClick = [this] { bottom_labelClick(); };

    Label29 = plainLabel(QStringLiteral("0"), this);
    Label29->setFont(pelorixFont(FontRole::Mono, 11));
    Label29->setStyleSheet(QStringLiteral("color: rgb(108, 131, 101); background: transparent;"));
    Label29->setGeometry(2, 701, 260, 11);
    Label29->setAttribute(Qt::WA_TransparentForMouseEvents);

    sSpeedButton5 = new PictureButton(ButtonKind::AddServer, this);
    sSpeedButton5->move(11, 10);
    sSpeedButton7 = new PictureButton(ButtonKind::Options, this);
    sSpeedButton7->move(757, 10);
    sSpeedButton6 = new PictureButton(ButtonKind::Quit, this);
    sSpeedButton6->move(939, 10);
    sSpeedButton8 = new PictureButton(ButtonKind::Refresh, this);
    sSpeedButton8->move(358, 672);
    sSpeedButton9 = new PictureButton(ButtonKind::DirectIp, this);
    sSpeedButton9->move(506, 672);
    sSpeedButton10 = new PictureButton(ButtonKind::Filters, this);
    sSpeedButton10->move(655, 672);
    sSpeedButton11 = new PictureButton(ButtonKind::Join, this);
    sSpeedButton11->move(917, 669);
}

void TForm1::createColumns()
{
    for (const auto &g : kColumnGeometry) {
        auto *view = new ColumnListView(m_table, g.column, this);
        view->setGeometry(g.left, kColumnsTop, g.width, kColumnsHeight);
        m_columns[g.column] = view;
    }
    ListBox0_index = m_columns[Column::ListBox0_index];
    ListBox1_servername = m_columns[Column::ListBox1_servername];
    ListBox2_players = m_columns[Column::ListBox2_players];
    ListBox3_ping = m_columns[Column::ListBox3_ping];
    ListBox4_gametype = m_columns[Column::ListBox4_gametype];
    ListBox5_mapname = m_columns[Column::ListBox5_mapname];
    ListBox6_ipaddress = m_columns[Column::ListBox6_ipaddress];
    ListBox7_mod = m_columns[Column::ListBox7_mod];
    ListBox8_version = m_columns[Column::ListBox8_version];
    Listbox10_check = m_columns[Column::Listbox10_check];

    ListBox0_index->setFocusPolicy(Qt::NoFocus);
    Listbox10_check->setToolTip(plainToolTip(QStringLiteral("Wait for free slot and join")));

    for (Column c : kMouseColumns) {
        ColumnListView *view = m_columns[c];
        view->onMousePress = [this, view](QMouseEvent *e) { ListBox1_servernameMouseDown(view, e); };
        view->onMouseMove = [this, view](QMouseEvent *e) { ListBox1_servernameMouseMove(view, e); };
        view->onMouseRelease = [this, view](QMouseEvent *e) { ListBox1_servernameMouseUp(view, e); };
        view->onDoubleClick = [this](QMouseEvent *e) {
            if (e->button() == Qt::LeftButton)
                ListBox1_servernameDblClick();
        };
        view->onKeyPress = [this, c](QKeyEvent *e) {
            if (popupShortcut(e))
                return true;
            if (c == Column::ListBox1_servername)
                ListBox1_servernameKeyDown(e);
            return false;
        };
        // A keyboard selection change in any of the eight runs the click handler (in the others it is undone).
        connect(view, &ColumnListView::userSelectionChanged, this, [this] { ListBox1_servernameClick(); });
    }
    connect(ListBox1_servername, &ColumnListView::scrollBarStep, this, [this] { ListBox1_servernameVScroll(); });
    Listbox10_check->onMouseMove = [this](QMouseEvent *) { setHover(kSelectServer); };
    // The check column keeps the list's own handling (the box toggles on a click); its row is taken at the press.
    Listbox10_check->onMousePress = [this](QMouseEvent *e) {
        if (e->button() == Qt::LeftButton)
            m_table.setSelectedIndex(Column::Listbox10_check, Listbox10_check->indexAt(e->position().toPoint()).row());
    };
    Listbox10_check->onMouseRelease = [this](QMouseEvent *e) {
        if (e->button() == Qt::LeftButton)
            QTimer::singleShot(0, this, [this] { Listbox10_checkClick(); });
    };
    // The check column's own selection changes (keys, a drag) go through its click handler, so the whole table
    // selects that row; the table scrolls with the list, which keeps the row in sight.
    connect(Listbox10_check, &ColumnListView::userSelectionChanged, this, [this](int row) {
        Listbox10_checkClick();
        showRow(row);
    });
}

void TForm1::createPanels()
{
    update_panel = plainLabel(QStringLiteral("Downloading update, please wait . . ."), this);
    auto *updateLabel = static_cast<QLabel *>(update_panel);
    update_panel->resize(465, 177);
    updateLabel->setAlignment(Qt::AlignCenter);
    updateLabel->setFrameShape(QFrame::Panel);
    updateLabel->setFrameShadow(QFrame::Sunken);
    update_panel->setFont(pelorixFont(FontRole::Sans, 16, true));
    update_panel->setStyleSheet(QStringLiteral("color: yellow; background: black;"));
    update_panel->hide();

    sprogressbar2 = new QWidget(this);
    sprogressbar2->setObjectName(QStringLiteral("sprogressbar2"));
    sprogressbar2->resize(409, 121);
    sprogressbar2->setAutoFillBackground(true);
    sprogressbar2->setStyleSheet(QStringLiteral("#sprogressbar2 { background: #181818; border: 1px solid #707070; }"));
    sprogressbar2->setAttribute(Qt::WA_StyledBackground);
    QLabel *caption = plainLabel(QStringLiteral("Querying servers, please wait..."), sprogressbar2);
    caption->setFont(pelorixFont(FontRole::Sans, 13, true));
    caption->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    caption->setGeometry(16, 10, 377, 18);
    ProgressBar = new QProgressBar(sprogressbar2);
    ProgressBar->setGeometry(16, 36, 377, 18);
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    cancel_ping_button = new QPushButton(QStringLiteral("Cancel"), sprogressbar2);
    cancel_ping_button->setGeometry(157, 62, 95, 25);
    Label_Cache = plainLabel(QStringLiteral("server list is not available, using offline cache"), sprogressbar2);
    Label_Cache->setGeometry(16, 94, 377, 16);
    Label_Cache->setAlignment(Qt::AlignCenter);
    Label_Cache->setStyleSheet(QStringLiteral("color: #ff8c00; background: transparent;"));
    Label_Cache->hide();
    sprogressbar2->hide();
    connect(cancel_ping_button, &QPushButton::clicked, this, [this] { cancel_ping_buttonClick(); });
}

void TForm1::createMenus()
{
    PopupMenu1 = new QMenu(this);
    auto item = [](QMenu *menu, const QString &caption, const QKeySequence &shortcut) {
        QAction *action = menu->addAction(caption);
        // Shown in the menu; the columns' key handler decides what a key does (also for a disabled item).
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setEnabled(false);
        return action;
    };
    // Key_Enter names the key "Enter" in the menu; both Enter keys join through popupShortcut.
    Joinserver1 = item(PopupMenu1, QStringLiteral("Join server"), QKeySequence(Qt::Key_Enter));
    Updatesingle1 = item(PopupMenu1, QStringLiteral("Update single"), QKeySequence(Qt::Key_F5));
    Showplayers2 = item(PopupMenu1, QStringLiteral("Show players"), QKeySequence(Qt::Key_F1));
    N1 = PopupMenu1->addSeparator();
    Deleteserver1 = item(PopupMenu1, QStringLiteral("Delete server"), QKeySequence(Qt::Key_Delete));
    connect(Joinserver1, &QAction::triggered, this, [this] { joinSelectedServer(); });
    // Updatesingle1, Showplayers2 and Deleteserver1 get their actions with the single-server update,
    // the player list and the server deletion.

    PopupMenu2 = new QMenu(this);
    // The executable selections belong to the joining feature, which connects them.
    SelectVEKTA410executable1 = PopupMenu2->addAction(QStringLiteral("Select VEKTA4 1.0 executable"));
    SelectVEKTA411executable1 = PopupMenu2->addAction(QStringLiteral("Select VEKTA4 1.1 executable"));
    SelectVEKTA4DVHexecutable1 = PopupMenu2->addAction(QStringLiteral("Select VEKTA4 DVH executable"));
    S1 = PopupMenu2->addAction(QStringLiteral("Select VEKTA4 Mod executable"));
    S1->setVisible(false);
    N2 = PopupMenu2->addSeparator();
    Proxysetup1 = PopupMenu2->addAction(QStringLiteral("Proxy setup"));
    G1 = PopupMenu2->addAction(QStringLiteral("Generate white list"));
    N3 = PopupMenu2->addSeparator();
    Messageoftheday1 = PopupMenu2->addAction(QStringLiteral("Message Of The Day"));
    About1 = PopupMenu2->addAction(QStringLiteral("About"));
    for (QAction *selection : {SelectVEKTA410executable1, SelectVEKTA411executable1, SelectVEKTA4DVHexecutable1, S1})
        selection->setIcon(menuIcon(MenuIcon::Executable));
    Proxysetup1->setIcon(menuIcon(MenuIcon::Proxy));
    G1->setIcon(menuIcon(MenuIcon::WhiteList));
    Messageoftheday1->setIcon(menuIcon(MenuIcon::Message));
    About1->setIcon(menuIcon(MenuIcon::About));
    connect(Proxysetup1, &QAction::triggered, this, [this] { Proxysetup1Click(); });
    connect(G1, &QAction::triggered, this, [this] { G1Click(); });
    connect(Messageoftheday1, &QAction::triggered, this, [this] { Messageoftheday1Click(); });
    connect(About1, &QAction::triggered, this, [this] { About1Click(); });
}

void TForm1::connectButtons()
{
    sSpeedButton5->onMouseMove = [this] { sSpeedButton5MouseMove(); };
    sSpeedButton7->onMouseMove = [this] { SpeedButton1MouseMove(); };
    sSpeedButton6->onMouseMove = [this] { sSpeedButton6MouseMove(); };
    sSpeedButton8->onMouseMove = [this] { refresh_imageMouseMove(); };
    sSpeedButton9->onMouseMove = [this] { Image5MouseMove(); };
    sSpeedButton10->onMouseMove = [this] { Image4MouseMove(); };
    sSpeedButton11->onMouseMove = [this] { Join_imageMouseMove(); };
    connect(sSpeedButton5, &QAbstractButton::clicked, this, [this] { Image3click(); });
    connect(sSpeedButton7, &QAbstractButton::clicked, this, [this] { sSpeedButton7Click(); });
    connect(sSpeedButton6, &QAbstractButton::clicked, this, [this] { Image1_quitClick(); });
    connect(sSpeedButton8, &QAbstractButton::clicked, this, [this] { refresh_imageClick(); });
    // sSpeedButton9 (Image5Click, direct connect) and sSpeedButton10 (Image4Click, filter panel) are connected by
    // the direct-connect panel and the filter panel when those are added.
    connect(sSpeedButton11, &QAbstractButton::clicked, this, [this] { Join_imageClick(); });
    connect(Name_edit, &QLineEdit::textChanged, this, [this] { Name_editChange(); });
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

    // 1-2. The version is ProgramVersion; the white list, when its file exists, with its notice (also when the
    // file cannot be read and so filters nothing).
    WhiteListFile whiteList = LoadWhiteList(m_services.programFolder);
    Label3->setVisible(whiteList.exists);

    // 3-4. The refresh engine holds ThreadRegistry, ProcessorCount and the reply lists.
    m_web = std::make_unique<WebClient>(settings, *m_services.pump, dialogs);
    m_refresh = std::make_unique<RefreshEngine>(
        m_table, settings, dialogs, *m_services.pump, *this,
        [this](const std::string &address, const std::string &userAgent) { return m_web->WebGet(address, userAgent); });
    m_refresh->setProgramFolder(m_services.programFolder);
    m_refresh->setWhiteList(std::move(whiteList.entries));
    m_table.ReshowColumns = false;

    // 5-6.
    CenterPanel(update_panel);
    Label_players->setText(QStringLiteral("Players online:\tN/A"));
    label_servers->setText(QStringLiteral("Servers online:\tN/A"));
    Label_serverall->setText(QStringLiteral("Total server count: N/A"));

    // 7. Without the rights the program cannot keep its files: say so and end in order.
    if (!hasAdminRights(m_services.programFolder)) {
        Timer2->stop();
        dialogs.message(DialogKind::Error,
                        "Please run the application as administrator!\r\nUnable to start without admin rights.");
        return false;
    }

    // 8-9. The grey skin and the hook that keeps the columns together.
    if (auto *application = qobject_cast<QApplication *>(QCoreApplication::instance()))
        applySkin(*application);
    m_syncHook = std::make_unique<SyncColumnsHook>(m_table);
    m_syncHook->install();

    // 10-12. CookieJar and MasterList live in the web client and the refresh engine; the store is open.
    m_executablePaths = {settings.ReadString("10", ""), settings.ReadString("11", ""), settings.ReadString("x", "")};

    // 13.
    if (!m_services.arguments.isEmpty() && m_services.arguments.front().toLower() == QStringLiteral("safe"))
        settings.WriteBool("ignoreping", true);

    // 14. Filling the box is a change as well and is written back.
    Name_edit->setText(toQString(settings.ReadString("nick", "Player123")));

    // 15.
    VersionCheck::Services versionServices;
    versionServices.WebGet = [this](const std::string &address, const std::string &userAgent) {
        return m_web->WebGet(address, userAgent);
    };
    versionServices.DownloadToFile = [this](const std::string &address, const std::string &filePath) {
        return m_web->DownloadToFile(address, filePath);
    };
    versionServices.KillProcessesByName = m_services.killProcesses;
    versionServices.ShowUpdatePanel = [this] {
        update_panel->show();
        update_panel->raise();
        m_services.pump->processPendingEvents();
    };
    versionServices.StopDeferredTimer = [this] { Timer2->stop(); };
    versionServices.programFolder = m_services.programFolder;
    versionServices.executableName = m_services.executableFileName;
    m_version = std::make_unique<VersionCheck>(settings, dialogs, std::move(versionServices));
    m_version->CheckVersion();
    Label29->setText(toQString(m_version->Label29Text()));

    // 16. The cursor file, or one beep.
    if (const auto cursor = loadCursorFile(m_services.cursorFile))
        setCursor(*cursor);
    else
        QApplication::beep();

    // 17.
    Thread_killer->start();
    Timer2->start();
    return true;
}

void TForm1::Timer2Timer()
{
    if (m_form5)
        m_form5->Memo1->setPlainText(toQString(m_version->MotdText()));
    if (m_version->ShowNewMessage())
        showMessageWindow();
    CenterPanel(sprogressbar2);
    if (!m_version->OfferUpdate())
        return;
    Timer2->stop();
    m_services.pump->processPendingEvents();
    if (m_version->LatestVersion() == ProgramVersion)
        refresh_imageClick();
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
    m_services.settings->WriteString("nick", fromQString(Name_edit->text()));
}

void TForm1::syncColumnsNow()
{
    if (m_syncHook)
        m_syncHook->run();
    else
        m_table.SyncColumns();
}

void TForm1::ListBox1_servernameClick()
{
    const int selected = m_table.selectedIndex(Column::ListBox1_servername);
    if (selected >= 0) {
        for (QAction *action : {Joinserver1, Showplayers2, Updatesingle1, Deleteserver1})
            action->setEnabled(true);
    }
    for (Column c : kSelectionFollowers)
        m_table.setSelectedIndex(c, selected);
    ShowMapPicture();
}

void TForm1::selectRowAt(int y)
{
    int row = ListBox1_servername->topRow() + (y < 0 ? -1 : y / ColumnListView::kRowHeight);
    if (row < 0 || row >= m_table.rowCount(Column::ListBox1_servername))
        row = -1;
    for (int c = 0; c < ColumnCount; ++c)
        m_table.setSelectedIndex(static_cast<Column>(c), row);
}

void TForm1::showRow(int row)
{
    if (row < 0)
        return;
    const int visible = std::max(1, ListBox1_servername->viewport()->height() / ColumnListView::kRowHeight);
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
        PopupMenu1->popup(event->globalPosition().toPoint());
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
    setHover(kSelectServer);
    ListBox1_servername->setToolTip(plainToolTip(
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
        action = Joinserver1;
        break;
    case Qt::Key_F5:
        action = Updatesingle1;
        break;
    case Qt::Key_F1:
        action = Showplayers2;
        break;
    case Qt::Key_Delete:
        action = Deleteserver1;
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
    for (int c = 0; c < Column::Listbox10_check; ++c)
        m_table.setSelectedIndex(static_cast<Column>(c), row);
    for (QAction *action : {Showplayers2, Updatesingle1, Deleteserver1})
        action->setEnabled(true);
    ShowMapPicture();
    // Waiting for a free slot on the checked servers comes with the wait-and-join feature.
}

void TForm1::ShowMapPicture()
{
    const int row = m_table.selectedIndex(Column::ListBox5_mapname);
    if (row < 0 || row >= m_table.rowCount(Column::ListBox5_mapname))
        return;
    pelorix::ShowMapPicture(MAP_picture, std::vector<std::string>{m_services.programFolder, m_services.sharedFolder},
                            m_table.cell(Column::ListBox5_mapname, row));
}

void TForm1::joinSelectedServer()
{
    // The Join button, the popup item, Enter and the double click all start the join here. Starting the game
    // for the selected server is the launch feature's, which fills this function; until then only the request is
    // announced.
    emit joinRequested();
}

void TForm1::setHover(const QString &text)
{
    if (Label1->text() != text)
        Label1->setText(text);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Name_edit && (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter))
        Name_editMouseMove();
    return QWidget::eventFilter(watched, event);
}

void TForm1::Image3click()
{
    // The Add server window comes with the add-server feature; the button shows nothing until then.
}

void TForm1::sSpeedButton7Click()
{
    PopupMenu2->popup(QCursor::pos());
}

void TForm1::refresh_imageClick()
{
    m_refresh->refresh_imageClick();
}

void TForm1::Join_imageClick()
{
    joinSelectedServer();
}

void TForm1::cancel_ping_buttonClick()
{
    m_refresh->cancel_ping_buttonClick();
}

void TForm1::Thread_killerTimer()
{
    if (m_refresh)
        m_refresh->Thread_killerTimer();
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
    Label_Cache->setVisible(visible);
}

void TForm1::setTotalLabel(const std::string &text)
{
    Label_serverall->setText(toQString(text));
}

void TForm1::setProgressPanelVisible(bool visible)
{
    sprogressbar2->setVisible(visible);
    if (visible)
        sprogressbar2->raise();
}

bool TForm1::isProgressPanelVisible() const
{
    return !sprogressbar2->isHidden();
}

void TForm1::setProgressMaximum(int maximum)
{
    // A range of 0..0 would turn the bar into a busy indicator; the bar stays a plain one for every list size.
    ProgressBar->setRange(0, std::max(1, maximum));
}

void TForm1::setProgressPosition(int position)
{
    ProgressBar->setValue(position);
}

void TForm1::setCancelCaption(const std::string &caption)
{
    cancel_ping_button->setText(toQString(caption));
}

void TForm1::setPlayersLabel(const std::string &text)
{
    Label_players->setText(toQString(text));
}

void TForm1::setServersLabel(const std::string &text)
{
    label_servers->setText(toQString(text));
}

void TForm1::clearMapPicture()
{
    MAP_picture->clear();
}

void TForm1::setMenuItemEnabled(RefreshMenuItem item, bool enabled)
{
    switch (item) {
    case RefreshMenuItem::Showplayers2:
        Showplayers2->setEnabled(enabled);
        break;
    case RefreshMenuItem::Updatesingle1:
        Updatesingle1->setEnabled(enabled);
        break;
    case RefreshMenuItem::Joinserver1:
        Joinserver1->setEnabled(enabled);
        break;
    }
}

} // namespace pelorix
