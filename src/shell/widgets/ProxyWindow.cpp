#include "shell/widgets/ProxyWindow.h"

#include "core/SettingsStore.h"
#include "core/Text.h"
#include "platform/widgets/Fonts.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/PlainText.h"

#include <QCheckBox>
#include <QLineEdit>

namespace pelorix
{

namespace
{

constexpr int kDesignClientHeight = 302 - 30; // the outer 302 less a usual title bar and frame

} // namespace

TForm6::TForm6(SettingsStore &settings, QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("TForm6"));
    setWindowTitle(QStringLiteral("Proxy server setup"));
    setModal(true);
    resize(378 - 8, kDesignClientHeight);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    p.setColor(QPalette::WindowText, Qt::white);
    setPalette(p);

    sCheckBox1 = new QCheckBox(QStringLiteral("Enable use of proxy server"), this);
    sCheckBox1->move(88, 24);
    sCheckBox1->setFont(pelorixFont(FontRole::Sans, 11, true));
    sCheckBox1->setStyleSheet(QStringLiteral("color: silver;"));
    sCheckBox1->adjustSize();

    auto row = [this](QLabel *&label, QLineEdit *&edit, const QString &caption, int labelTop, int editTop) {
        label = plainLabel(caption, this);
        label->move(27, labelTop);
        label->setStyleSheet(QStringLiteral("color: white;"));
        label->adjustSize();
        edit = new QLineEdit(this);
        edit->setGeometry(121, editTop, 203, 22);
    };
    row(Label1, Edit1, QStringLiteral("User name:"), 69, 66);
    row(Label2, Edit2, QStringLiteral("Password"), 93, 90);
    row(Label3, Edit3, QStringLiteral("Proxy server"), 117, 114);
    row(Label5, Edit4, QStringLiteral("Proxy port"), 141, 138);

    sSpeedButton1 = new PictureButton(ButtonKind::Accept, this);
    sSpeedButton2 = new PictureButton(ButtonKind::Cancel, this);
    connect(sSpeedButton1, &QAbstractButton::clicked, this, [this] { sSpeedButton1Click(); });
    connect(sSpeedButton2, &QAbstractButton::clicked, this, [this] { sSpeedButton2Click(); });
    resizeEvent(nullptr);
}

void TForm6::resizeEvent(QResizeEvent *)
{
    const int shift = height() - kDesignClientHeight;
    sSpeedButton1->move(56, 199 + shift);
    sSpeedButton2->move(260, 199 + shift);
}

void TForm6::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TForm6::FormShow()
{
    sCheckBox1->setChecked(m_settings.ReadBool("proxy", false));
    Edit1->setText(toQString(m_settings.ReadString("proxyuser", "")));
    Edit2->setText(toQString(m_settings.ReadString("proxypassword", "")));
    Edit3->setText(toQString(m_settings.ReadString("proxyserver", "")));
    Edit4->setText(toQString(m_settings.ReadString("proxyport", "")));
}

void TForm6::sSpeedButton1Click()
{
    m_settings.WriteBool("proxy", sCheckBox1->isChecked());
    m_settings.WriteString("proxyuser", fromQString(Edit1->text()));
    m_settings.WriteString("proxypassword", fromQString(Edit2->text()));
    m_settings.WriteString("proxyserver", fromQString(Edit3->text()));
    m_settings.WriteString("proxyport", fromQString(Edit4->text()));
    close();
}

void TForm6::sSpeedButton2Click()
{
    close();
}

} // namespace pelorix
