#include "shell/widgets/PlainText.h"

#include "support/GuiTestMain.h"

#include <QTextDocument>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

namespace pelorix
{
namespace
{

// What a tool tip shows for its text: markup when the text looks like markup, the characters otherwise.
QString toolTipShows(const QString &tip)
{
    QTextDocument document;
    if (Qt::mightBeRichText(tip))
        document.setHtml(tip);
    else
        document.setPlainText(tip);
    return document.toPlainText();
}

TEST(PlainTextTest, ToolTipsShowTheCharactersOfTheirText)
{
    struct Case {
        QString text;
        bool looksLikeMarkup;
    };
    const Case cases[] = {
        {QStringLiteral("<b>x</b><img src=a>"), true},
        {QStringLiteral("<i>two  spaces</i> & an ampersand"), true},
        {QStringLiteral("<p>first line\nsecond line</p>"), true},
        {QStringLiteral("There are 7 servers available."), false},
        {QStringLiteral("a < b > c & d"), true},
        {QStringLiteral("3 < 4 & 5 > 2"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(toolTipShows(plainToolTip(c.text)), c.text);
        EXPECT_EQ(toolTipShows(c.text) != c.text, c.looksLikeMarkup);
        if (!c.looksLikeMarkup) {
            EXPECT_EQ(plainToolTip(c.text), c.text) << "left as it is";
        }
    }
}

TEST(PlainTextTest, WindowTitlesShowTheCharactersOfTheirText)
{
    const QString cases[] = {
        QStringLiteral("a[*]b"),          QStringLiteral("[*][*]"),
        QStringLiteral("[[*]*]"),         QStringLiteral("x [*] y [*][*][*]"),
        QStringLiteral("no placeholder"),
    };
    QWidget window;
    window.setWindowTitle(QStringLiteral("[*]"));
    window.setWindowModified(true);
    window.winId();
    ASSERT_NE(window.windowHandle(), nullptr);
    for (const QString &text : cases) {
        window.setWindowTitle(plainWindowTitle(text));
        EXPECT_EQ(window.windowHandle()->title(), text) << text.toStdString();
    }
}

} // namespace
} // namespace pelorix
