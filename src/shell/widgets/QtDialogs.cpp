#include "shell/widgets/QtDialogs.h"

#include "core/Text.h"
#include "shell/widgets/PlainText.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

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

} // namespace

DialogAnswer QtDialogs::message(DialogKind kind, const std::string &text, DialogButtons buttons)
{
    QMessageBox box(iconFor(kind), plainWindowTitle(QApplication::applicationDisplayName()), QString(),
                    buttons == DialogButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, m_parent);
    // Messages carry server names and replies: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(toQString(text));
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
