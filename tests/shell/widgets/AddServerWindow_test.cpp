// The Add server window: its controls, the checks that refuse before anything is sent, quick add, the progress line,
// and "Delete server" in the main window against a scripted service on loopback; then a server added in the window
// and deleted from the table against the reference service, in a private network of the test's own.
#include "shell/widgets/AddServerWindow.h"

#include "shell/VersionCheck.h"
#include "admin/DeleteServer.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/MainWindow.h"
#include "support/LoopbackHttpServer.h"
#include "support/PrivateNetwork.h"
#include "support/WindowTestSupport.h"
#include "view/widgets/ColumnListView.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace pelorix
{

namespace
{

using namespace std::chrono_literals;
using test::ChildProcess;
using test::LoopbackHttpServer;
using test::waitUntil;
using test::WindowUnderTest;

class AddServerWindowTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(w.create());
        ui().Timer2->stop();
        form1().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form1()));
    }
    TForm1 &form1() { return w.form1(); }
    TForm3 &form3() { return *w.forms->Form3(); }
    const MainWindowUi &ui() { return w.form1().ui(); }

    WindowUnderTest w;
};

TEST_F(AddServerWindowTest, OpensModallyCentredWithItsControlsInPlace)
{
    form1().Image3click();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form3()));
    TForm3 &f = form3();
    EXPECT_TRUE(f.isModal() || f.windowModality() != Qt::NonModal);
    EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(f.size(), QSize(565, 315));
    EXPECT_EQ(f.geometry().center(), form1().geometry().center());

    struct Control {
        const char *name;
        QWidget *widget;
        QRect geometry; // an empty size: only the position counts
        QString text;
    };
    const Control controls[] = {
        {"SpeedButton2", f.SpeedButton2, {6, 5, 82, 33}, QStringLiteral("Quick add")},
        {"Label1", f.Label1, {93, 74, 0, 0}, QStringLiteral("IP ADDRESS: ")},
        {"Edit1", f.Edit1, {194, 66, 249, 30}, QStringLiteral("0.0.0.0")},
        {"Label3", f.Label3, {38, 154, 0, 0}, QStringLiteral("            QUERY PORT:")},
        {"JvSpinEdit1", f.JvSpinEdit1, {197, 145, 121, 32}, QStringLiteral("10481")},
        {"SpeedButton1", f.SpeedButton1, {328, 144, 97, 33}, QStringLiteral("Default port")},
        {"Panel2", f.Panel2, {42, 44, 481, 166}, {}},
        {"Label2", f.Label2, {41, 222, 0, 0}, QStringLiteral("Adding server")},
        {"sSpeedButton4", f.sSpeedButton4, {148, 246, 54, 49}, {}},
        {"sSpeedButton3", f.sSpeedButton3, {350, 246, 54, 49}, {}},
    };
    for (const auto &c : controls) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.widget->pos(), c.geometry.topLeft());
        if (!c.geometry.size().isEmpty()) {
            EXPECT_EQ(c.widget->size(), c.geometry.size());
        }
        QString text;
        if (auto *label = qobject_cast<QLabel *>(c.widget))
            text = label->text();
        else if (auto *button = qobject_cast<QPushButton *>(c.widget))
            text = button->text();
        else if (auto *edit = qobject_cast<QLineEdit *>(c.widget))
            text = edit->text();
        else if (auto *spin = qobject_cast<QSpinBox *>(c.widget))
            text = spin->text();
        EXPECT_EQ(text, c.text);
    }
    EXPECT_EQ(f.SpeedButton2->toolTip(), QStringLiteral("Quick add (expert only)"));
    EXPECT_EQ(f.JvSpinEdit1->minimum(), 1);
    EXPECT_EQ(f.JvSpinEdit1->maximum(), 1000000);
    EXPECT_EQ(f.Edit1->font().pixelSize(), 19);
    EXPECT_EQ(f.Memo1->font().pixelSize(), 11);
    EXPECT_TRUE(f.Memo1->isReadOnly());
    EXPECT_EQ(f.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(f.Panel2->isVisible());
    EXPECT_FALSE(f.Label2->isVisible());
    EXPECT_EQ(f.Timer1->interval(), 100);
    EXPECT_FALSE(f.Timer1->isActive());

    // The fields keep their values when the window closes and opens again.
    f.Edit1->setText(QStringLiteral("10.1.1.1"));
    f.JvSpinEdit1->setValue(27000);
    f.sSpeedButton3->click();
    EXPECT_FALSE(f.isVisible());
    form1().Image3click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Edit1->text(), QStringLiteral("10.1.1.1"));
    EXPECT_EQ(f.JvSpinEdit1->value(), 27000);
    f.SpeedButton1->click();
    EXPECT_EQ(f.JvSpinEdit1->value(), 10481);
}

TEST_F(AddServerWindowTest, DraggedByItsBackground)
{
    form1().Image3click();
    TForm3 &f = form3();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    const QPoint start = f.pos();
    const QPoint grip(500, 20); // background, clear of every control
    QTest::mousePress(f.Panel1, Qt::LeftButton, {}, grip);
    QTest::mouseMove(&f, f.mapFromGlobal(f.mapToGlobal(grip) + QPoint(40, 25)));
    QTest::mouseRelease(&f, Qt::LeftButton, {}, grip);
    EXPECT_EQ(f.pos(), start + QPoint(40, 25));
}

TEST_F(AddServerWindowTest, AddressesThatFailTheChecksAreRefusedBeforeAnythingIsSent)
{
    LoopbackHttpServer service;
    ::setenv("PELORIX_MASTER_HOST", service.hostPort().c_str(), 1);
    form1().Image3click();
    TForm3 &f = form3();
    struct Case {
        const char *what;
        QString address;
        std::function<void()> add;
        DialogKind kind;
        std::string message;
    };
    const auto click = [&f] { f.sSpeedButton4->click(); };
    const auto enter = [&f] {
        f.JvSpinEdit1->setFocus();
        QTest::keyClick(f.JvSpinEdit1, Qt::Key_Return);
    };
    const Case cases[] = {
        {"four parts and a fifth", QStringLiteral("1.2.3.4.5"), click, DialogKind::Error, "Not valid IP address!"},
        {"empty part, by Enter", QStringLiteral("1..2.3"), enter, DialogKind::Error, "Not valid IP address!"},
        {"a port in the address box", QStringLiteral("1.2.3.4:5"), click, DialogKind::Error, "Not valid IP address!"},
        {"loopback", QStringLiteral("127.0.0.1"), click, DialogKind::Warning, "Can't add local server!"},
        {"192 prefix, by Enter", QStringLiteral("192.0.2.10"), enter, DialogKind::Warning, "Can't add local server!"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = w.dialogs.shown().size();
        f.Edit1->setText(c.address);
        c.add();
        ASSERT_EQ(w.dialogs.shown().size(), before + 1);
        EXPECT_EQ(w.dialogs.shown().back().kind, c.kind);
        EXPECT_EQ(w.dialogs.shown().back().text, c.message);
        EXPECT_FALSE(f.Panel2->isVisible()) << "no log before the checks pass";
        EXPECT_TRUE(f.isVisible());
    }
    EXPECT_EQ(service.connectionCount(), 0u);
}

TEST_F(AddServerWindowTest, QuickAddFillsTheFieldsAndRunsTheAdd)
{
    LoopbackHttpServer service;
    ::setenv("PELORIX_MASTER_HOST", service.hostPort().c_str(), 1);
    form1().Image3click();
    TForm3 &f = form3();
    bool disabledWhileAsking = false;
    w.dialogs.setOnMessage([&](const auto &) { disabledWhileAsking = !f.SpeedButton2->isEnabled(); });
    struct Case {
        const char *what;
        std::optional<std::string> answer;
        QString address;
        int port;
        std::vector<std::string> messages;
    };
    const std::string format =
        "Please use IP&&PORT format like: 123.123.123.123:10480\r\nEmpty spaces will be removed automaticaly";
    const Case cases[] = {
        // The join port becomes the query port; the add then refuses the local address.
        {"blanks around the colon",
         std::string("192.0.2.1 : 10480"),
         QStringLiteral("192.0.2.1"),
         10481,
         {"Can't add local server!"}},
        {"no colon", std::string("1.2.3.4"), QString(), 10481, {format}},
        {"a port that is no number", std::string("10.9.8.7:abc"), QStringLiteral("10.9.8.7"), 10481, {format}},
        {"cancelled", std::nullopt, QStringLiteral("10.9.8.7"), 10481, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = w.dialogs.shown().size();
        w.dialogs.setNextPromptText(c.answer);
        f.SpeedButton2->setEnabled(true);
        QTest::mouseClick(f.SpeedButton2, Qt::LeftButton);
        ASSERT_EQ(w.dialogs.prompts().size(), static_cast<std::size_t>(&c - cases + 1));
        EXPECT_EQ(w.dialogs.prompts().back().caption, "Quick add");
        EXPECT_EQ(w.dialogs.prompts().back().label, "IP&&Port (join port)");
        EXPECT_EQ(w.dialogs.prompts().back().initial, "");
        EXPECT_EQ(f.Edit1->text(), c.address);
        EXPECT_EQ(f.JvSpinEdit1->value(), c.port);
        std::vector<std::string> shown;
        for (std::size_t i = before; i < w.dialogs.shown().size(); ++i)
            shown.push_back(w.dialogs.shown()[i].text);
        EXPECT_EQ(shown, c.messages);
        if (!c.messages.empty()) {
            EXPECT_TRUE(disabledWhileAsking);
        }
        EXPECT_TRUE(f.SpeedButton2->isEnabled());
    }
    EXPECT_EQ(service.connectionCount(), 0u);
}

TEST_F(AddServerWindowTest, ProgressLineShowsItsFramesAndStops)
{
    TForm3 &f = form3();
    form1().Image3click();
    const QString frames[] = {
        QStringLiteral("Adding server ."),         QStringLiteral("Adding server . ."),
        QStringLiteral("Adding server . . ."),     QStringLiteral("Adding server . . . ."),
        QStringLiteral("Adding server . . . . ."), QStringLiteral("Adding server . . . . ."),
        QStringLiteral("Adding server "),
    };
    for (int i = 0; i < 14; ++i) {
        SCOPED_TRACE(i);
        f.Timer1Timer();
        EXPECT_TRUE(f.Label2->isVisible());
        EXPECT_EQ(f.Label2->text(), frames[i % 7]);
    }
    f.stopProgress();
    EXPECT_FALSE(f.Label2->isVisible());
    // Running, the timer moves the line on by itself every 100 ms; stopped, it hides the line.
    f.startProgress();
    EXPECT_TRUE(f.Timer1->isActive());
    ASSERT_TRUE(waitUntil([&] { return f.progress().counter() >= 3; }, 5000));
    EXPECT_TRUE(f.Label2->isVisible());
    f.stopProgress();
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_FALSE(f.Label2->isVisible());
}

TEST_F(AddServerWindowTest, AfterAnAdditionTheDeferredStartUpRunsAgainIn100Ms)
{
    ui().Timer2->stop();
    form3().rearmStartup();
    EXPECT_TRUE(ui().Timer2->isActive());
    EXPECT_EQ(ui().Timer2->interval(), 100);
    EXPECT_TRUE(ui().Timer2->isSingleShot());
    ui().Timer2->stop();
}

class DeleteServerWindowTest : public AddServerWindowTest
{
  protected:
    void SetUp() override
    {
        AddServerWindowTest::SetUp();
        ServerTable &table = form1().table();
        std::vector<std::string> addresses;
        for (int i = 0; i < 3; ++i) {
            table.AppendPlaceholderRow();
            table.PutRowValues(i, " ", "Server " + std::to_string(i), "3/16", "20", "CTF", "m", "VEKTA 4", "1.1");
            addresses.push_back("10.0.0." + std::to_string(i) + ":10481");
        }
        table.setColumnItems(ListBox6_ipaddress, addresses);
        ::setenv("PELORIX_MASTER_HOST", service.hostPort().c_str(), 1);
    }
    void pressDelete(int row)
    {
        for (int c = 0; c < ColumnCount; ++c)
            form1().table().setSelectedIndex(static_cast<Column>(c), row);
        form1().ListBox1_servernameClick();
        ui().ListBox1_servername->setFocus();
        QTest::keyClick(ui().ListBox1_servername, Qt::Key_Delete);
    }
    std::vector<std::string> names() { return w.forms->Form1()->table().columnItems(ListBox1_servername); }

    LoopbackHttpServer service;
};

TEST_F(DeleteServerWindowTest, DeleteKeyDeletesTheSelectedRowOnlyWhenTheServiceSaysSo)
{
    struct Case {
        const char *what;
        LoopbackHttpServer::Reply reply;
        std::string message;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"refused",
         LoopbackHttpServer::lengthReply("1;wrong password"),
         "Wrong password.",
         {"Server 0", "Server 1", "Server 2"}},
        {"deleted", LoopbackHttpServer::lengthReply(""), "Server was deleted.", {"Server 0", "Server 2"}},
        {"no answer", LoopbackHttpServer::rawReply(""), kDeleteUnreachableText, {"Server 0", "Server 2"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        service.addReply(c.reply);
        w.dialogs.setNextPromptText(std::string("pw"));
        pressDelete(1);
        EXPECT_EQ(w.dialogs.shown().back().text, c.message);
        EXPECT_EQ(names(), c.names);
    }
    ASSERT_EQ(service.requests().size(), 3u);
    EXPECT_NE(service.requests()[0].find("server=10.0.0.1:10481&s="), std::string::npos);
    // After the deletion row 1 is the former row 2.
    EXPECT_NE(service.requests()[2].find("server=10.0.0.2:10481&s="), std::string::npos);
    EXPECT_EQ(w.endedInOrder, 0);
}

TEST_F(DeleteServerWindowTest, FourthUseAfterThreeRefusalsShowsLockedAndEndsTheProgramInOrder)
{
    service.setDefaultReply(LoopbackHttpServer::lengthReply("1;wrong password"));
    for (int i = 0; i < 3; ++i) {
        w.dialogs.setNextPromptText(std::string("guess"));
        pressDelete(0);
        EXPECT_EQ(w.dialogs.shown().back().text, "Wrong password.");
    }
    EXPECT_EQ(w.endedInOrder, 0);
    pressDelete(0);
    EXPECT_EQ(w.dialogs.shown().back().kind, DialogKind::Warning);
    EXPECT_EQ(w.dialogs.shown().back().text, "Locked!");
    EXPECT_EQ(w.endedInOrder, 1);
    EXPECT_EQ(service.connectionCount(), 3u);
    EXPECT_EQ(names().size(), 3u);
}

TEST(AddServerWindow, AddedInTheWindowAndDeletedFromTheTableInAPrivateNetwork)
{
    if (test::insidePrivateNetwork())
        GTEST_SKIP() << "already inside";
    const test::PrivateRun run = test::runInPrivateNetwork("AddServerWindowInside.*");
    if (!run.possible)
        GTEST_SKIP() << run.skipReason;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("SKIPPED"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[  PASSED  ]"), std::string::npos) << run.out;
}

TEST(AddServerWindowInside, AddRefreshDelete)
{
    if (!test::insidePrivateNetwork())
        GTEST_SKIP() << "runs inside the private network of AddServerWindow.AddedInTheWindowAndDeletedFromTheTable...";
    std::string error;
    ASSERT_TRUE(test::setUpPrivateNetwork(error)) << error;

    // One game server on the private address, and the reference service with the program's own version (so the
    // deferred start-up step refreshes) and an administrator password.
    test::TempDir dir;
    const std::string portFile = dir.file("ports.txt");
    ChildProcess sim(PELORIX_GAMESIM_BIN,
                     {"--generate", "1", "--bind", test::kPrivateServerHost, "--port-file", portFile});
    std::string server;
    for (int i = 0; i < 200 && server.empty(); ++i) {
        std::ifstream in(portFile);
        std::getline(in, server);
        if (server.empty())
            std::this_thread::sleep_for(50ms);
    }
    ASSERT_FALSE(server.empty()) << sim.stderrText();
    const std::string db = dir.file("master.db");
    ASSERT_EQ(test::runProcess(PELORIX_MASTER_BIN, {"set-version", ProgramVersion, "--db", db}), 0);
    ASSERT_EQ(test::runProcess(PELORIX_MASTER_BIN, {"set-password", "--db", db}, nullptr, nullptr, {}, 60s, "admin pw"),
              0);
    const int port = test::freeTcpPort();
    ChildProcess master(PELORIX_MASTER_BIN, {"serve", "--db", db, "--port", std::to_string(port), "--allow-private",
                                             "--password-checks", "1000", "--no-access-log"});
    ASSERT_TRUE(test::waitForTcpPort(port, 20s)) << master.stderrText();
    ::setenv("PELORIX_MASTER_HOST", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
    const auto listed = [&db] {
        std::string out;
        EXPECT_EQ(test::runProcess(PELORIX_MASTER_BIN, {"list", "--db", db}, &out), 0);
        return out;
    };

    WindowUnderTest w;
    ASSERT_TRUE(w.create());
    TForm1 &form1 = w.form1();
    form1.ui().Timer2->stop();
    form1.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form1));
    // The first refresh finds an empty list.
    form1.refresh_imageClick();
    ASSERT_TRUE(waitUntil([&] { return !form1.isProgressPanelVisible(); }, 30000));

    // The add, as a user clicks it: the window stays alive through its waits, then closes and re-arms the
    // deferred start-up step, whose refresh brings the new server into the table.
    form1.Image3click();
    TForm3 &form3 = *w.forms->Form3();
    form3.Edit1->setText(QString::fromLatin1(test::kPrivateServerHost));
    form3.JvSpinEdit1->setValue(std::stoi(server.substr(server.find(':') + 1)));
    bool progressMoved = false;
    QObject::connect(form3.Timer1, &QTimer::timeout, &form3, [&] { progressMoved = true; });
    form3.sSpeedButton4->click();
    ASSERT_FALSE(w.dialogs.shown().empty());
    EXPECT_EQ(w.dialogs.shown().back().text, "Server was added!");
    EXPECT_TRUE(progressMoved) << "the progress line moved while the add waited";
    EXPECT_FALSE(form3.isVisible());
    EXPECT_FALSE(form3.Panel2->isVisible());
    EXPECT_TRUE(form3.Memo1->toPlainText().contains(QStringLiteral(" | All ok.")));
    EXPECT_EQ(form1.ui().Timer2->interval(), 100);
    EXPECT_TRUE(form1.ui().Timer2->isActive());
    EXPECT_EQ(listed(), server + "\n");
    ServerTable &table = form1.table();
    ASSERT_TRUE(waitUntil(
        [&] {
            return !form1.isProgressPanelVisible() && table.rowCount(ListBox6_ipaddress) == 1 &&
                   table.cell(ListBox6_ipaddress, 0) == server;
        },
        30000));

    // The delete of that row with the administrator password.
    for (int c = 0; c < ColumnCount; ++c)
        table.setSelectedIndex(static_cast<Column>(c), 0);
    form1.ListBox1_servernameClick();
    w.dialogs.setNextPromptText(std::string("admin pw"));
    form1.ui().ListBox1_servername->setFocus();
    QTest::keyClick(form1.ui().ListBox1_servername, Qt::Key_Delete);
    EXPECT_EQ(w.dialogs.shown().back().text, "Server was deleted.");
    EXPECT_EQ(table.rowCount(ListBox1_servername), 0);
    EXPECT_EQ(listed(), "");
}

} // namespace

} // namespace pelorix
