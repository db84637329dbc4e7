#include "shell/widgets/QuitWindow.h"

#include "platform/widgets/Fonts.h"
#include "platform/widgets/MoveGesture.h"
#include "shell/widgets/Artwork.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/PlainText.h"

#include <QMouseEvent>
#include <QPushButton>

namespace pelorix
{

namespace
{

QPushButton *flatButton(const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setFlat(true);
    // Speed buttons: the mouse presses them; they take no focus, and Enter does not press them.
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setFont(pelorixFont(FontRole::Sans, 16, true));
    button->setStyleSheet(QStringLiteral("QPushButton { color: white; background: #202020; border: 1px solid #606060; }"
                                         "QPushButton:hover { color: yellow; }"));
    return button;
}

} // namespace

TForm4::TForm4(std::function<bool(const std::string &)> kill, std::string executableFileName, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_kill(std::move(kill))
    , m_executableFileName(std::move(executableFileName))
{
    setObjectName(QStringLiteral("TForm4"));
    setModal(true);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    Panel1 = blackWindowPanel(this, 484, 154);
    connect(Panel1, &EventLabel::mousePressed, this, &TForm4::Panel1MouseDown);

    Image1 = plainLabel(QString(), this);
    Image1->setGeometry(8, 8, 48, 48);
    Image1->setPixmap(programIconPixmap(48));

    Label1 = plainLabel(QStringLiteral("Quit application ?"), this);
    Label1->setFont(pelorixFont(FontRole::Sans, 20, true));
    Label1->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    Label1->setGeometry(72, 24, 400, 40);
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);

    SpeedButton1 = flatButton(QStringLiteral("YES"), this);
    SpeedButton1->setGeometry(72, 96, 150, 36);
    SpeedButton2 = flatButton(QStringLiteral("NO"), this);
    SpeedButton2->setGeometry(262, 96, 150, 36);
    connect(SpeedButton1, &QAbstractButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QAbstractButton::clicked, this, [this] { SpeedButton2Click(); });
}

void TForm4::SpeedButton1Click()
{
    // Ends every copy of the program, this one included; nothing after this call may be relied on.
    m_kill(m_executableFileName);
}

void TForm4::SpeedButton2Click()
{
    close();
}

void TForm4::Panel1MouseDown(QMouseEvent *event)
{
    startMoveGesture(this, event->globalPosition().toPoint());
}

} // namespace pelorix
