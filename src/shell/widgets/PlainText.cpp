#include "shell/widgets/PlainText.h"

#include <QLabel>
#include <QTextDocument>

namespace pelorix
{

QLabel *plainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

QString plainToolTip(const QString &text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

QString plainWindowTitle(const QString &text)
{
    // A doubled placeholder stands for one "[*]" shown as it is.
    QString title = text;
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    return title;
}

QString blankWindowTitle()
{
    return QStringLiteral(" ");
}

} // namespace pelorix
