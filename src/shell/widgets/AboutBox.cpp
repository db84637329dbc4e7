#include "shell/widgets/AboutBox.h"

#include "discovery/WebRequests.h"
#include "platform/widgets/Fonts.h"
#include "platform/widgets/MoveGesture.h"
#include "shell/Installer.h"
#include "shell/widgets/Artwork.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/PlainText.h"

#include <QGroupBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>

#include <cstdio>

namespace pelorix
{

namespace
{

const char *const kLicence =
    "Pelorix is freeware for non-commercial use.\n\n"
    "It is provided as-is, without any warranty of any kind, express or implied.\n\n"
    "In no event shall the author be liable for any damages arising from the use of this program.\n\n"
    "VEKTA 4 is a trademark of its owner. All other product and company names are trademarks or registered "
    "trademarks of their owners.";

} // namespace

TForm2::TForm2(Services services, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_services(std::move(services))
{
    setObjectName(QStringLiteral("TForm2"));
    setModal(true);
    const QFont arial = pelorixFont(FontRole::Sans, 12);

    Panel1 = blackWindowPanel(this, 336, 338);
    connect(Panel1, &EventLabel::mousePressed, this, &TForm2::Panel1MouseDown);

    GroupBox1 = new QGroupBox(QStringLiteral("Version / Creator"), this);
    GroupBox1->setGeometry(8, 8, 321, 77);
    GroupBox1->setFont(arial);
    GroupBox1->setStyleSheet(QStringLiteral("QGroupBox { color: white; border: 1px solid #606060; margin-top: 8px; }"
                                            "QGroupBox::title { subcontrol-origin: margin; left: 8px; }"));
    GroupBox1->installEventFilter(this);

    Image1 = new EventLabel(GroupBox1);
    Image1->setGeometry(10, 16, 36, 36);
    Image1->setFrameShape(QFrame::Panel);
    Image1->setFrameShadow(QFrame::Sunken);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(programIconPixmap(32));
    connect(Image1, &EventLabel::doubleClicked, this, &TForm2::Image1DblClick);

    Label1 = plainLabel(QStringLiteral("v1.x"), GroupBox1);
    Label1->setGeometry(6, 55, 48, 16);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setStyleSheet(QStringLiteral("color: white;"));

    Label2 = plainLabel(QStringLiteral("Pelorix server browser, 2017 by the Pelorix authors"), GroupBox1);
    Label2->setGeometry(60, 20, 255, 18);
    Label2->setStyleSheet(QStringLiteral("color: white;"));

    Label3 = new EventLabel(GroupBox1);
    Label3->setText(QString::fromLatin1(kHomePage));
    Label3->setGeometry(60, 44, 255, 18);
    Label3->setStyleSheet(QStringLiteral("color: #4060ff; text-decoration: underline;"));
    Label3->setCursor(Qt::PointingHandCursor);
    connect(Label3, &EventLabel::clicked, this, &TForm2::Label3Click);

    GroupBox2 = new QGroupBox(QStringLiteral("Licence"), this);
    GroupBox2->setGeometry(8, 87, 321, 219);
    GroupBox2->setFont(arial);
    GroupBox2->setStyleSheet(GroupBox1->styleSheet());
    Memo1 = new QPlainTextEdit(QString::fromLatin1(kLicence), GroupBox2);
    Memo1->setGeometry(6, 18, 309, 195);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setStyleSheet(QStringLiteral("QPlainTextEdit { background: black; color: white; border: none; }"));
    QTextCursor cursor(Memo1->document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.mergeBlockFormat(centred);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setGeometry(124, 311, 85, 25);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { close(); });
}

bool TForm2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == GroupBox1 && event->type() == QEvent::MouseButtonPress) {
        GroupBox1MouseDown(static_cast<QMouseEvent *>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::Panel1MouseDown(QMouseEvent *event)
{
    startMoveGesture(this, event->globalPosition().toPoint());
}

void TForm2::GroupBox1MouseDown(QMouseEvent *event)
{
    startMoveGesture(this, event->globalPosition().toPoint());
}

void TForm2::Label3Click()
{
    if (m_services.shellOpen)
        m_services.shellOpen(kHomePage, {}, {});
}

void TForm2::Image1DblClick()
{
    const std::string installer = m_services.programFolder + "install.exe";
    std::remove(installer.c_str());
    if (m_services.showUpdatePanel)
        m_services.showUpdatePanel(true);
    if (m_services.downloadToFile)
        m_services.downloadToFile(installerAddress(), installer);
    if (m_services.dialogs)
        StartDownloadedInstaller(installer, *m_services.dialogs);
    if (m_services.showUpdatePanel)
        m_services.showUpdatePanel(false);
    close();
}

} // namespace pelorix
