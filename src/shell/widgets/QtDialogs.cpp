#include "shell/widgets/QtDialogs.h"

#include "core/Text.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
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
    QMessageBox box(iconFor(kind), QApplication::applicationDisplayName(), toQString(text),
                    buttons == DialogButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, m_parent);
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
    return fromQString(name);
}

std::optional<std::string> QtDialogs::prompt(const std::string &caption, const std::string &label,
                                             const std::string &initial, bool password)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, toQString(caption), toQString(label),
                              password ? QLineEdit::Password : QLineEdit::Normal, toQString(initial), &ok);
    if (!ok)
        return std::nullopt;
    return fromQString(text);
}

} // namespace pelorix
