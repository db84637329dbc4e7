#include "shell/widgets/MainWindowUi.h"

#include "launch/GameLaunch.h"
#include "launch/WaitForSlot.h"
#include "platform/widgets/Fonts.h"
#include "shell/widgets/AboutBox.h"
#include "shell/widgets/Artwork.h"
#include "shell/widgets/FilterPanel.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/MainWindow.h"
#include "shell/widgets/PlainText.h"
#include "view/ColumnSort.h"
#include "view/widgets/ColumnListView.h"

#include <QAction>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

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

QLabel *makeLabel(QWidget *parent, const QString &text, int x, int y, const QFont &font, const QString &style)
{
    QLabel *label = plainLabel(text, parent);
    label->setFont(font);
    label->setStyleSheet(style);
    label->move(x, y);
    label->adjustSize();
    return label;
}

PictureButton *makeButton(QWidget *parent, ButtonKind kind, int x, int y)
{
    auto *button = new PictureButton(kind, parent);
    button->move(x, y);
    return button;
}

void setupWindow(QWidget *form)
{
    form->setObjectName(QStringLiteral("TForm1"));
    form->setWindowTitle(QStringLiteral("Pelorix"));
    form->setFixedSize(kWidth, kHeight);
    form->setAutoFillBackground(true);
    QPalette p = form->palette();
    p.setColor(QPalette::Window, Qt::black);
    form->setPalette(p);
    form->setFont(pelorixFont(FontRole::Sans, 11));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        form->move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
}

} // namespace

void MainWindowUi::setupUi(TForm1 *form)
{
    setupWindow(form);

    Image1 = new EventLabel(form);
    Image1->setGeometry(0, 0, kWidth, 692);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(backgroundPixmap());

    const QString white = QStringLiteral("color: white; background: transparent;");
    Label1 = makeLabel(form, selectServerText(), 9, 91, pelorixFont(FontRole::Sans, 13, true), white);
    Label1->resize(560, 17);
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Label2 = makeLabel(form, QStringLiteral("Please Enter Your Name Here"), 8, 656,
                       pelorixFont(FontRole::Sans, 13, true), white);

    Name_edit = new QLineEdit(form);
    Name_edit->setGeometry(8, 674, 241, 22);
    Name_edit->setFont(pelorixFont(FontRole::Sans, 13, true));
    Name_edit->setMouseTracking(true);

    const QString grey = QStringLiteral("color: #a0a0a0; background: transparent;");
    const QFont statistics = pelorixFont(FontRole::Sans, 11, true);
    Label_players = makeLabel(form, QString(), 969, 53, statistics, grey);
    label_servers = makeLabel(form, QString(), 969, 71, statistics, grey);
    Label_serverall = makeLabel(form, QString(), 969, 90, statistics, grey);
    for (QLabel *label : {Label_players, label_servers, Label_serverall})
        label->resize(150, 15);

    Label3 = new EventLabel(form);
    Label3->setText(QStringLiteral("White list is in use [?]"));
    Label3->setFont(pelorixFont(FontRole::Sans, 11, true));
    Label3->setStyleSheet(QStringLiteral("color: #ff8c00; background: transparent;"));
    Label3->move(195, 16);
    Label3->adjustSize();
    Label3->setCursor(Qt::PointingHandCursor);

    MAP_picture = plainLabel(QString(), form);
    MAP_picture->setGeometry(601, 15, 113, 89);
    MAP_picture->setAlignment(Qt::AlignCenter);
    MAP_picture->setStyleSheet(QStringLiteral("background: black;"));

    bottom_label = new EventLabel(form);
    bottom_label->setGeometry(0, kHeight - 11, kWidth, 11);
    bottom_label->setAlignment(Qt::AlignCenter);
    bottom_label->setFont(pelorixFont(FontRole::Mono, 11));
    bottom_label->setStyleSheet(QStringLiteral("color: white; background: rgb(0, 64, 128);"));
    bottom_label->setText(QStringLiteral("Pelorix - VEKTA 4 server browser - 2017 - the Pelorix authors - ") +
                          QString::fromLatin1(TForm2::kHomePage));

    Label29 = plainLabel(QStringLiteral("0"), form);
    Label29->setFont(pelorixFont(FontRole::Mono, 11));
    Label29->setStyleSheet(QStringLiteral("color: rgb(108, 131, 101); background: transparent;"));
    Label29->setGeometry(2, 701, 260, 11);
    Label29->setAttribute(Qt::WA_TransparentForMouseEvents);

    sSpeedButton5 = makeButton(form, ButtonKind::AddServer, 11, 10);
    sSpeedButton7 = makeButton(form, ButtonKind::Options, 757, 10);
    sSpeedButton6 = makeButton(form, ButtonKind::Quit, 939, 10);
    sSpeedButton8 = makeButton(form, ButtonKind::Refresh, 358, 672);
    sSpeedButton9 = makeButton(form, ButtonKind::DirectIp, 506, 672);
    sSpeedButton10 = makeButton(form, ButtonKind::Filters, 655, 672);
    sSpeedButton11 = makeButton(form, ButtonKind::Join, 917, 669);

    // The columns, over the heading row of the background picture.
    for (const auto &g : kColumnGeometry) {
        auto *view = new ColumnListView(form->table(), g.column, form);
        view->setGeometry(g.left, kColumnsTop, g.width, kColumnsHeight);
        columns[g.column] = view;
    }
    ListBox0_index = columns[Column::ListBox0_index];
    ListBox1_servername = columns[Column::ListBox1_servername];
    ListBox2_players = columns[Column::ListBox2_players];
    ListBox3_ping = columns[Column::ListBox3_ping];
    ListBox4_gametype = columns[Column::ListBox4_gametype];
    ListBox5_mapname = columns[Column::ListBox5_mapname];
    ListBox6_ipaddress = columns[Column::ListBox6_ipaddress];
    ListBox7_mod = columns[Column::ListBox7_mod];
    ListBox8_version = columns[Column::ListBox8_version];
    Listbox10_check = columns[Column::Listbox10_check];
    ListBox0_index->setFocusPolicy(Qt::NoFocus);
    Listbox10_check->setToolTip(plainToolTip(QStringLiteral("Wait for free slot and join")));

    // Over the titles painted on the background: one click area per sortable column, nothing drawn.
    for (size_t k = 0; k < kSortAreas.size(); ++k) {
        auto *area = new EventLabel(form);
        area->setObjectName(QString::fromLatin1(kSortAreas[k].name));
        area->setGeometry(kSortAreas[k].left, 110, kSortAreas[k].width, 26);
        area->setStyleSheet(QStringLiteral("background: transparent;"));
        area->setCursor(Qt::PointingHandCursor);
        sortAreas[k] = area;
    }
    Image10 = sortAreas[0];
    Image9 = sortAreas[1];
    Image11 = sortAreas[2];
    Image12 = sortAreas[3];
    Image13 = sortAreas[4];
    Image14 = sortAreas[5];
    Image15 = sortAreas[6];
    Image16 = sortAreas[7];
    Image17 = sortAreas[8];

    Panel1 = new FilterPanel(form);

    // The update panel and the refresh's progress panel, hidden until they are wanted.
    update_panel = plainLabel(QStringLiteral("Downloading update, please wait . . ."), form);
    update_panel->resize(465, 177);
    update_panel->setAlignment(Qt::AlignCenter);
    update_panel->setFrameShape(QFrame::Panel);
    update_panel->setFrameShadow(QFrame::Sunken);
    update_panel->setFont(pelorixFont(FontRole::Sans, 16, true));
    update_panel->setStyleSheet(QStringLiteral("color: yellow; background: black;"));
    update_panel->hide();

    sprogressbar2 = new QWidget(form);
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

    // The table's popup menu.
    PopupMenu1 = new QMenu(form);
    auto item = [](QMenu *menu, const QString &caption, const QKeySequence &shortcut) {
        QAction *action = menu->addAction(caption);
        // Shown in the menu; the columns' key handler decides what a key does (also for a disabled item).
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setEnabled(false);
        return action;
    };
    // Key_Enter names the key "Enter" in the menu; both Enter keys join through the columns' key handler.
    Joinserver1 = item(PopupMenu1, QStringLiteral("Join server"), QKeySequence(Qt::Key_Enter));
    Updatesingle1 = item(PopupMenu1, QStringLiteral("Update single"), QKeySequence(Qt::Key_F5));
    Showplayers2 = item(PopupMenu1, QStringLiteral("Show players"), QKeySequence(Qt::Key_F1));
    N1 = PopupMenu1->addSeparator();
    Deleteserver1 = item(PopupMenu1, QStringLiteral("Delete server"), QKeySequence(Qt::Key_Delete));

    // The Options menu.
    PopupMenu2 = new QMenu(form);
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

    // The direct-connect panel: hidden until the DIRECT IP button opens it.
    directIP_panel = new EventLabel(form);
    directIP_panel->setObjectName(QStringLiteral("directIP_panel"));
    directIP_panel->resize(449, 265);
    directIP_panel->setFrameShape(QFrame::Box);
    directIP_panel->setStyleSheet(QStringLiteral("#directIP_panel { background: black; border: 1px solid #707070; }"));
    const QFont panelFont = pelorixFont(FontRole::Sans, 11, true);
    const QString panelText = QStringLiteral("color: white;");
    Label11 =
        makeLabel(directIP_panel, QStringLiteral("Please enter the IP address and port"), 16, 14, panelFont, panelText);
    Edit1 = new QLineEdit(directIP_panel);
    Edit1->setGeometry(16, 36, 417, 22);
    Label13 = makeLabel(directIP_panel, QStringLiteral("Game"), 16, 70, panelFont, panelText);
    ComboBox3 = new QComboBox(directIP_panel);
    ComboBox3->setGeometry(16, 90, 417, 22);
    ComboBox3->setEditable(false);
    for (const char *game : kDirectConnectGames)
        ComboBox3->addItem(QString::fromLatin1(game));
    ComboBox3->setCurrentIndex(0);
    Label12 = makeLabel(directIP_panel, QStringLiteral("Password (Optional):"), 16, 124, panelFont, panelText);
    Edit2 = new QLineEdit(directIP_panel);
    Edit2->setGeometry(16, 146, 417, 22);
    sSpeedButton1 = makeButton(directIP_panel, ButtonKind::Accept, 140, 196);
    sSpeedButton2 = makeButton(directIP_panel, ButtonKind::Cancel, 255, 196);
    directIP_panel->hide();

    // The deferred start-up step (one shot, armed by the creation handler) and the refresh's watchdog.
    Timer2 = new QTimer(form);
    Timer2->setInterval(500);
    Timer2->setSingleShot(true);
    Thread_killer = new QTimer(form);
    Thread_killer->setInterval(1000);
    // The wait for a free slot: asks the checked server again on every tick.
    Timer_join = new QTimer(form);
    Timer_join->setInterval(kWaitForSlotIntervalMs);
}

} // namespace pelorix
