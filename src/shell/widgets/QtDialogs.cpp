#include "shell/widgets/QtDialogs.h"

#include "core/Text.h"
#include "shell/widgets/PlainText.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace pelorix
{

namespace
{

QMessageBox::Icon iconFor(DialogKind kind)
{
    switch (kind) {
    case DialogKind::Error:
        return QMessageBox::Critical;
    case DialogKind::Warning:
        return QMessageBox::Warning;
    case DialogKind::Information:
        return QMessageBox::Information;
    case DialogKind::Confirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString filterText(const FileDialogRequest &request)
{
    if (request.filterPattern.empty())
        return {};
    return toQString(request.filterName) + QStringLiteral(" (") + toQString(request.filterPattern) +
           QStringLiteral(")");
}

int availableHeight(const QWidget *parent)
{
    const QScreen *screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().height() : 600;
}

// A message of more lines than fit on the screen (a long player list): the text in a box that scrolls, the
// dialog no taller than two thirds of the screen.
DialogAnswer scrollingMessage(QWidget *parent, DialogKind kind, const QString &text, DialogButtons buttons)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("scrolling_message"));
    dialog.setWindowTitle(plainWindowTitle(QApplication::applicationDisplayName()));
    auto *layout = new QVBoxLayout(&dialog);
    auto *row = new QHBoxLayout;
    auto *icon = new QLabel(&dialog);
    const int side = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
    const QStyle::StandardPixmap picture = kind == DialogKind::Error         ? QStyle::SP_MessageBoxCritical
                                           : kind == DialogKind::Warning     ? QStyle::SP_MessageBoxWarning
                                           : kind == DialogKind::Information ? QStyle::SP_MessageBoxInformation
                                                                             : QStyle::SP_MessageBoxQuestion;
    icon->setPixmap(dialog.style()->standardIcon(picture, nullptr, &dialog).pixmap(side, side));
    icon->setAlignment(Qt::AlignTop);
    row->addWidget(icon);
    auto *body = new QPlainTextEdit(&dialog);
    body->setObjectName(QStringLiteral("scrolling_message_text"));
    body->setReadOnly(true);
    body->setPlainText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    body->setLineWrapMode(QPlainTextEdit::NoWrap);
    row->addWidget(body, 1);
    layout->addLayout(row, 1);
    auto *box = new QDialogButtonBox(
        buttons == DialogButtons::YesNo ? QDialogButtonBox::Yes | QDialogButtonBox::No : QDialogButtonBox::Ok, &dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(box);
    dialog.resize(480, availableHeight(parent) * 2 / 3);
    const int result = dialog.exec();
    if (buttons == DialogButtons::Ok)
        return DialogAnswer::Ok;
    return result == QDialog::Accepted ? DialogAnswer::Yes : DialogAnswer::No;
}

} // namespace

DialogAnswer QtDialogs::message(DialogKind kind, const std::string &text, DialogButtons buttons)
{
    const QString shown = toQString(text);
    const int lines = static_cast<int>(shown.count(QLatin1Char('\n'))) + 1;
    if (lines * QFontMetrics(QApplication::font()).lineSpacing() > availableHeight(m_parent) * 2 / 3)
        return scrollingMessage(m_parent, kind, shown, buttons);

    QMessageBox box(iconFor(kind), plainWindowTitle(QApplication::applicationDisplayName()), QString(),
                    buttons == DialogButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, m_parent);
    // Messages carry server names and replies: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(shown);
    const int result = box.exec();
    if (buttons == DialogButtons::Ok)
        return DialogAnswer::Ok;
    return result == QMessageBox::Yes ? DialogAnswer::Yes : DialogAnswer::No;
}

std::optional<std::string> QtDialogs::saveFileName(const FileDialogRequest &request)
{
    QFileDialog::Options options;
    if (!request.promptOverwrite)
        options |= QFileDialog::DontConfirmOverwrite;
    const QString name = QFileDialog::getSaveFileName(
        m_parent, toQString(request.title), toQString(request.defaultFileName), filterText(request), nullptr, options);
    if (name.isEmpty())
        return std::nullopt;
    return fromQString(name);
}

std::optional<std::string> QtDialogs::openFileName(const FileDialogRequest &request)
{
    const QString name = QFileDialog::getOpenFileName(m_parent, toQString(request.title),
                                                      toQString(request.defaultFileName), filterText(request));
    if (name.isEmpty())
        return std::nullopt;
    if (request.systemPath)
        return QFile::encodeName(name).toStdString();
    return fromQString(name);
}

std::optional<std::string> QtDialogs::prompt(const std::string &caption, const std::string &label,
                                             const std::string &initial, bool password)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(plainWindowTitle(toQString(caption)));
    dialog.setLabelText(toQString(label));
    // The prompt's label may name a server: never markup.
    for (QLabel *shown : dialog.findChildren<QLabel *>())
        shown->setTextFormat(Qt::PlainText);
    dialog.setTextEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    dialog.setTextValue(toQString(initial));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return fromQString(dialog.textValue());
}

} // namespace pelorix
