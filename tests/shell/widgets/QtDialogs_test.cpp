#include "shell/widgets/QtDialogs.h"

#include "core/Text.h"
#include "support/GuiTestMain.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

namespace pelorix
{
namespace
{

// A server name that Qt's automatic text format would take for markup: bold "x" and a picture.
const std::string kMarkup = "<b>x</b><img src=a>";

// Runs inspect on the dialog that the call opens, once it is up, then lets close end it; returns false when no
// dialog came up.
bool whileModal(const std::function<void(QDialog &)> &inspect, const std::function<void(QDialog &)> &close,
                const std::function<void()> &call)
{
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        seen = true;
        inspect(*dialog);
        close(*dialog);
    });
    // Ends a dialog that the inspection did not close, so a failure cannot hang the test.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    poll.start();
    guard.start(10000);
    call();
    return seen;
}

class QtDialogsTest : public ::testing::Test
{
  protected:
    QtDialogs dialogs;
};

TEST_F(QtDialogsTest, MessageShowsOutsideTextAsItsCharacters)
{
    // Qt guesses markup from the first line alone; both places must show the characters.
    const std::string texts[] = {
        kMarkup + " was found at server:\r\n10.0.0.1:10481",
        "Server was found at server:\r\n" + kMarkup,
    };
    for (const std::string &text : texts) {
        SCOPED_TRACE(text);
        DialogAnswer answer = DialogAnswer::No;
        const bool seen = whileModal(
            [&](QDialog &dialog) {
                auto *label = dialog.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
                ASSERT_NE(label, nullptr);
                EXPECT_EQ(label->textFormat(), Qt::PlainText);
                EXPECT_EQ(label->text(), toQString(text));
                // Read as markup, the first line would be a bold "x" and a picture: narrower than its characters.
                const QString firstLine = toQString(text).section(QLatin1Char('\r'), 0, 0);
                EXPECT_GE(label->sizeHint().width(), label->fontMetrics().horizontalAdvance(firstLine));
            },
            [](QDialog &dialog) { static_cast<QMessageBox &>(dialog).button(QMessageBox::Ok)->click(); },
            [&] { answer = dialogs.message(DialogKind::Information, text); });
        EXPECT_TRUE(seen);
        EXPECT_EQ(answer, DialogAnswer::Ok);
    }
}

// A player list of thousands of lines fits the screen: its text scrolls inside the box.
TEST_F(QtDialogsTest, AMessageTallerThanTheScreenScrolls)
{
    std::string text = "Player list:\r\n\r\n";
    for (int k = 0; k < 3000; ++k)
        text += "<b>p" + std::to_string(k) + "</b> | Score: " + std::to_string(k) + "\r\n";
    const int screenHeight = QGuiApplication::primaryScreen()->availableGeometry().height();
    for (const DialogButtons buttons : {DialogButtons::Ok, DialogButtons::YesNo}) {
        DialogAnswer answer = DialogAnswer::Ok;
        const bool seen = whileModal(
            [&](QDialog &dialog) {
                EXPECT_LE(dialog.frameGeometry().height(), screenHeight);
                auto *body = dialog.findChild<QPlainTextEdit *>(QStringLiteral("scrolling_message_text"));
                ASSERT_NE(body, nullptr);
                EXPECT_EQ(body->toPlainText(), toQString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
                EXPECT_TRUE(body->verticalScrollBar()->maximum() > 0);
            },
            [](QDialog &dialog) {
                auto *box = dialog.findChild<QDialogButtonBox *>();
                (box->button(QDialogButtonBox::Ok) ? box->button(QDialogButtonBox::Ok)
                                                   : box->button(QDialogButtonBox::Yes))
                    ->click();
            },
            [&] { answer = dialogs.message(DialogKind::Information, text, buttons); });
        EXPECT_TRUE(seen);
        EXPECT_EQ(answer, buttons == DialogButtons::Ok ? DialogAnswer::Ok : DialogAnswer::Yes);
    }
}

TEST_F(QtDialogsTest, PromptShowsOutsideTextAsItsCharactersAndReturnsTheTypedText)
{
    struct Case {
        const char *what;
        bool accept;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"accepted", true, std::string("s\xE9same")},
        {"cancelled", false, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<std::string> answer;
        const std::string caption = "Password for " + kMarkup + " [*]";
        const bool seen = whileModal(
            [&](QDialog &dialog) {
                const QList<QLabel *> labels = dialog.findChildren<QLabel *>();
                ASSERT_EQ(labels.size(), 1);
                EXPECT_EQ(labels.front()->textFormat(), Qt::PlainText);
                EXPECT_EQ(labels.front()->text(), toQString("Server " + kMarkup));
                ASSERT_NE(dialog.windowHandle(), nullptr);
                EXPECT_EQ(dialog.windowHandle()->title(), toQString(caption)) << "the title as it is";
                auto *edit = dialog.findChild<QLineEdit *>();
                ASSERT_NE(edit, nullptr);
                EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
                EXPECT_EQ(edit->text(), QStringLiteral("old"));
                edit->setText(QString::fromUtf8("s\xC3\xA9same"));
            },
            [&](QDialog &dialog) {
                if (c.accept)
                    dialog.accept();
                else
                    dialog.reject();
            },
            [&] { answer = dialogs.prompt(caption, "Server " + kMarkup, "old", true); });
        EXPECT_TRUE(seen);
        EXPECT_EQ(answer, c.expected);
    }
}

} // namespace
} // namespace pelorix
