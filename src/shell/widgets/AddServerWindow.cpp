#include "shell/widgets/AddServerWindow.h"

#include "core/Dialogs.h"
#include "core/Text.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/MoveGesture.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/PlainText.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>

namespace pelorix
{

namespace
{

constexpr int kDefaultQueryPort = 10481;

QPushButton *flatButton(const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setFlat(true);
    // Speed buttons: the mouse presses them; they take no focus, and Enter does not press them.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setFont(pelorixFont(FontRole::Sans, 12, true));
    button->setStyleSheet(QStringLiteral("QPushButton { color: white; background: #202020; border: 1px solid #606060; }"
                                         "QPushButton:hover { color: yellow; }"
                                         "QPushButton:disabled { color: gray; }"));
    return button;
}

QLabel *whiteLabel(const QString &text, QWidget *parent, int x, int y)
{
    QLabel *label = plainLabel(text, parent);
    label->setFont(pelorixFont(FontRole::Sans, 16, true));
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    label->move(x, y);
    label->adjustSize();
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

} // namespace

TForm3::TForm3(WebClient &web, EventPump &pump, Dialogs &dialogs, std::function<void()> rearmStartup, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_dialogs(dialogs)
    , m_rearmStartup(std::move(rearmStartup))
    , m_add(web, pump, dialogs, *this)
{
    setObjectName(QStringLiteral("TForm3"));
    setWindowTitle(QStringLiteral("Add server"));
    setModal(true);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    Panel1 = blackWindowPanel(this, 565, 315);
    connect(Panel1, &EventLabel::mousePressed, this, &TForm3::Panel1MouseDown);

    SpeedButton2 = flatButton(QStringLiteral("Quick add"), this);
    SpeedButton2->setGeometry(6, 5, 82, 33);
    SpeedButton2->setToolTip(plainToolTip(QStringLiteral("Quick add (expert only)")));
    connect(SpeedButton2, &QAbstractButton::clicked, this, [this] { SpeedButton2Click(); });

    Label1 = whiteLabel(QStringLiteral("IP ADDRESS: "), this, 93, 74);
    Edit1 = new QLineEdit(QStringLiteral("0.0.0.0"), this);
    Edit1->setGeometry(194, 66, 249, 30);
    Edit1->setFont(pelorixFont(FontRole::Sans, 19));
    Edit1->setStyleSheet(QStringLiteral("QLineEdit { color: white; background: black; border: 1px solid #606060; }"));

    Label3 = whiteLabel(QStringLiteral("            QUERY PORT:"), this, 38, 154);
    JvSpinEdit1 = new QSpinBox(this);
    JvSpinEdit1->setGeometry(197, 145, 121, 32);
    JvSpinEdit1->setRange(1, 1000000);
    JvSpinEdit1->setValue(kDefaultQueryPort);
    JvSpinEdit1->setFont(pelorixFont(FontRole::Sans, 16));
    JvSpinEdit1->installEventFilter(this);

    SpeedButton1 = flatButton(QStringLiteral("Default port"), this);
    SpeedButton1->setGeometry(328, 144, 97, 33);
    connect(SpeedButton1, &QAbstractButton::clicked, this, [this] { SpeedButton1Click(); });

    Panel2 = new QWidget(this);
    Panel2->setGeometry(42, 44, 481, 166);
    Panel2->setAutoFillBackground(true);
    Panel2->setPalette(p);
    Memo1 = new QPlainTextEdit(Panel2);
    Memo1->setGeometry(0, 0, 481, 166);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFont(pelorixFont(FontRole::Sans, 11));
    Memo1->setStyleSheet(QStringLiteral("QPlainTextEdit { color: white; background: black; }"));
    Panel2->hide();

    Label2 = whiteLabel(QStringLiteral("Adding server"), this, 41, 222);
    Label2->setFixedWidth(480);
    Label2->hide();

    sSpeedButton4 = new PictureButton(ButtonKind::Accept, this);
    sSpeedButton4->move(148, 246);
    sSpeedButton3 = new PictureButton(ButtonKind::Cancel, this);
    sSpeedButton3->move(350, 246);
    connect(sSpeedButton4, &QAbstractButton::clicked, this, [this] { Image2Click(); });
    connect(sSpeedButton3, &QAbstractButton::clicked, this, [this] { Image1Click(); });

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TForm3::Image2Click()
{
    m_add.Run(fromQString(Edit1->text()), JvSpinEdit1->value());
}

void TForm3::Image1Click()
{
    close();
}

void TForm3::SpeedButton1Click()
{
    JvSpinEdit1->setValue(kDefaultQueryPort);
}

void TForm3::SpeedButton2Click()
{
    SpeedButton2->setEnabled(false);
    const std::optional<std::string> answer = m_dialogs.prompt("Quick add", "IP&&Port (join port)", "", false);
    if (answer) {
        const QuickAddEntry entry = parseQuickAdd(*answer);
        Edit1->setText(toQString(entry.address));
        if (!entry.queryPort) {
            m_dialogs.message(DialogKind::Information, "Please use IP&&PORT format like: "
                                                       "123.123.123.123:10480\r\nEmpty spaces will be removed "
                                                       "automaticaly");
        } else {
            // The spin box holds 1 to 1000000; the add takes the number as it was given.
            JvSpinEdit1->setValue(static_cast<int>(std::clamp<long long>(*entry.queryPort, 1, 1000000)));
            m_add.Run(entry.address, *entry.queryPort);
        }
    }
    SpeedButton2->setEnabled(true);
}

void TForm3::Timer1Timer()
{
    Label2->show();
    Label2->setText(toQString(m_progress.tick()));
}

void TForm3::JvSpinEdit1KeyDown(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        Image2Click();
}

void TForm3::Panel1MouseDown(QMouseEvent *event)
{
    startMoveGesture(this, event->globalPosition().toPoint());
}

bool TForm3::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == JvSpinEdit1 && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        JvSpinEdit1KeyDown(key);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm3::clearLog()
{
    Memo1->clear();
}

void TForm3::appendLog(const std::string &line)
{
    Memo1->appendPlainText(toQString(line));
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

void TForm3::setLogVisible(bool visible)
{
    Panel2->setVisible(visible);
    if (visible)
        Panel2->raise();
}

void TForm3::startProgress()
{
    Timer1->start();
}

void TForm3::stopProgress()
{
    Timer1->stop();
    Label2->hide();
}

void TForm3::beep()
{
    QApplication::beep();
}

void TForm3::closeWindow()
{
    close();
}

void TForm3::rearmStartup()
{
    if (m_rearmStartup)
        m_rearmStartup();
}

} // namespace pelorix
