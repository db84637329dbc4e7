#include "shell/widgets/Forms.h"

#include "discovery/RefreshEngine.h"
#include "shell/Installer.h"
#include "shell/VersionCheck.h"
#include "shell/widgets/AboutBox.h"
#include "shell/widgets/FormControls.h"
#include "shell/widgets/MessageWindow.h"
#include "shell/widgets/ProxyWindow.h"
#include "shell/widgets/QuitWindow.h"
#include "support/WindowTestSupport.h"
#include "support/LoopbackHttpServer.h"
#include "support/RecordingScript.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace pelorix
{
namespace
{

using test::ChildProcess;
using test::RecordingScript;
using test::runProcess;
using test::ScopedEnvironment;
using test::TempDir;
using test::waitUntil;
using test::WindowUnderTest;

void setMasterHost(const std::string &host)
{
    ::setenv("PELORIX_MASTER_HOST", host.c_str(), 1);
}

// The reference master-list service on a free loopback port, with simulated game servers listed in it.
class ReferenceWorld
{
  public:
    // `installer` is what the service hands out as the installer download.
    ReferenceWorld(const std::string &version, const std::string &motd, int servers,
                   const std::string &installer = "MZ installer")
    {
        const std::string list = m_dir.file("list.txt");
        m_gamesim.emplace(PELORIX_GAMESIM_BIN,
                          std::vector<std::string>{"--generate", std::to_string(servers), "--master-list-file", list});
        EXPECT_TRUE(waitUntil([&] { return std::ifstream(list).good(); }));
        const std::string db = m_dir.file("master.db");
        EXPECT_EQ(runProcess(PELORIX_MASTER_BIN, {"import", list, "--db", db}), 0);
        EXPECT_EQ(runProcess(PELORIX_MASTER_BIN, {"set-version", version, "--db", db}), 0);
        EXPECT_EQ(runProcess(PELORIX_MASTER_BIN, {"set-motd", motd, "--db", db}), 0);
        std::ofstream(m_dir.file("installer.exe")) << installer;
        m_port = test::freeTcpPort();
        m_master.emplace(PELORIX_MASTER_BIN,
                         std::vector<std::string>{"serve", "--port", std::to_string(m_port), "--no-check",
                                                  "--installer", m_dir.file("installer.exe"), "--db", db});
        EXPECT_TRUE(test::waitForTcpPort(m_port));
        setMasterHost("127.0.0.1:" + std::to_string(m_port));
    }
    ~ReferenceWorld() { setMasterHost("127.0.0.1:9"); }

  private:
    TempDir m_dir;
    int m_port = 0;
    std::optional<ChildProcess> m_gamesim;
    std::optional<ChildProcess> m_master;
};

bool refreshed(TForm1 &form)
{
    return form.refreshEngine()->counters().refreshesCompleted > 0 && !form.refreshEngine()->refreshInProgress();
}

TEST(FormsTest, EqualVersionShowsTheMessageOnceAndTheFirstRefreshFillsTheTable)
{
    ReferenceWorld world("v1.79", "Hello pilots", 12);
    TempDir shared;
    {
        WindowUnderTest w;
        auto settings = std::make_unique<SettingsStore>(shared.file("settings.reg"));
        w.preparedServices.settings = settings.get();
        ASSERT_TRUE(w.create());
        TForm1 &form = w.form1();
        EXPECT_EQ(form.ui().Label29->text(), QStringLiteral("Version: v1.79"));
        EXPECT_EQ(w.forms->Form5()->Memo1->toPlainText(), QStringLiteral("Memo1")) << "before the deferred step";
        ASSERT_TRUE(waitUntil([&] { return refreshed(form); }, 30000));
        EXPECT_TRUE(w.forms->Form5()->isVisible());
        EXPECT_EQ(w.forms->Form5()->Memo1->toPlainText(), QStringLiteral("Hello pilots"));
        EXPECT_EQ(settings->ReadString("motd", "").size(), 32u);
        ASSERT_EQ(form.table().rowCount(ListBox1_servername), 12);
        for (int row = 0; row < 12; ++row)
            EXPECT_NE(form.table().cell(ListBox1_servername, row), "?") << row;
        EXPECT_EQ(form.table().rowCount(ListBox6_ipaddress), 12);
        EXPECT_EQ(form.ui().Label_serverall->text(), QStringLiteral("Total server count: 12"));
        EXPECT_EQ(form.table().selectedIndex(ListBox1_servername), 0);
        EXPECT_TRUE(form.ui().Joinserver1->isEnabled());
        EXPECT_TRUE(w.dialogs.shown().empty()) << w.dialogs.texts().front();
        w.forms.reset();
        w.settings.reset();
    }
    {
        // A second run with the same message does not show it again, and refreshes as before.
        WindowUnderTest w;
        auto settings = std::make_unique<SettingsStore>(shared.file("settings.reg"));
        w.preparedServices.settings = settings.get();
        ASSERT_TRUE(w.create());
        ASSERT_TRUE(waitUntil([&] { return refreshed(w.form1()); }, 30000));
        EXPECT_FALSE(w.forms->Form5()->isVisible());
        EXPECT_EQ(w.forms->Form5()->Memo1->toPlainText(), QStringLiteral("Hello pilots"));
        w.forms.reset();
    }
}

TEST(FormsTest, DifferentVersionOffersTheUpdateAndNoStartsNoRefresh)
{
    ReferenceWorld world("v1.80", "news", 3);
    WindowUnderTest w;
    w.dialogs.setNextAnswer(DialogAnswer::No);
    ASSERT_TRUE(w.create());
    ASSERT_TRUE(waitUntil([&] { return !w.dialogs.shown().empty(); }));
    EXPECT_EQ(w.dialogs.shown().front().text, updateOfferText("v1.80"));
    EXPECT_EQ(w.dialogs.shown().front().buttons, DialogButtons::YesNo);
    QTest::qWait(800);
    EXPECT_EQ(w.form1().refreshEngine()->counters().refreshesCompleted, 0);
    EXPECT_FALSE(w.form1().refreshEngine()->refreshInProgress());
    EXPECT_EQ(w.form1().ui().Label_serverall->text(), QStringLiteral("Total server count: N/A"));
    EXPECT_TRUE(w.killed.empty());
}

TEST(FormsTest, AnAcceptedUpdateStartsOnlyAWindowsInstallerAndEndsTheProgram)
{
    struct Case {
        std::string installer;
        bool started; // a Windows program is started; anything else is deleted and reported
    };
    for (const Case &c : {Case{"MZ installer", true}, Case{"#!/bin/sh\necho started\n", false}}) {
        SCOPED_TRACE(c.installer);
        ReferenceWorld world("v1.80", "news", 3, c.installer);
        TempDir tools;
        const RecordingScript wine(tools.path(), "fake-wine");
        ScopedEnvironment launcher("PELORIX_WINE", wine.path());
        WindowUnderTest w;
        w.dialogs.setNextAnswer(DialogAnswer::Yes);
        ASSERT_TRUE(w.create());
        ASSERT_TRUE(waitUntil([&] { return !w.killed.empty(); }));

        const std::string installer = w.folder.file("install.exe");
        EXPECT_EQ(w.killed, std::vector<std::string>{"pelorix"});
        EXPECT_EQ(w.form1().refreshEngine()->counters().refreshesCompleted, 0);
        EXPECT_TRUE(w.opened.empty());
        if (c.started) {
            EXPECT_NE(wine.waitForRecord().find("\n[" + installer + "]\n"), std::string::npos);
            std::string written;
            std::getline(std::ifstream(installer), written);
            EXPECT_EQ(written, c.installer);
            EXPECT_EQ(w.dialogs.shown().size(), 1u) << "the offer alone";
        } else {
            EXPECT_EQ(wine.waitForRecord(std::chrono::milliseconds(300)), "(never run)");
            EXPECT_FALSE(std::ifstream(installer).good());
            ASSERT_EQ(w.dialogs.shown().size(), 2u);
            EXPECT_EQ(w.dialogs.shown()[1].kind, DialogKind::Error);
            EXPECT_EQ(w.dialogs.shown()[1].text, refusedInstallerText(installer));
        }
    }
}

TEST(FormsTest, OfflineStartShowsTheEmptyMessageOnceAndRefreshesFromTheMissingCache)
{
    setMasterHost("127.0.0.1:9");
    WindowUnderTest w;
    ASSERT_TRUE(w.create());
    EXPECT_EQ(w.form1().ui().Label29->text(), QStringLiteral("Version: v1.79 (offline)"));
    ASSERT_TRUE(waitUntil([&] { return !w.dialogs.shown().empty(); }));
    EXPECT_EQ(w.dialogs.shown().front().kind, DialogKind::Error);
    EXPECT_EQ(w.dialogs.shown().front().text,
              "Cache file is missing, unable to use PELORIX offline.\r\nfile: " + w.folder.file("cache.dat"));
    EXPECT_TRUE(w.forms->Form5()->isVisible());
    EXPECT_EQ(w.forms->Form5()->Memo1->toPlainText(), QString());
}

TEST(FormsTest, StartUpStepsTheSafeArgumentTheNickAndTheStatistics)
{
    setMasterHost("127.0.0.1:9");
    WindowUnderTest w({QStringLiteral("SAFE")});
    ASSERT_TRUE(w.create());
    TForm1 &form = w.form1();
    form.ui().Timer2->stop();
    EXPECT_TRUE(w.settings->ReadBool("ignoreping", false));
    EXPECT_EQ(form.ui().Name_edit->text(), QStringLiteral("Player123"));
    EXPECT_EQ(w.settings->ReadString("nick", ""), "Player123");
    EXPECT_EQ(form.ui().Label_players->text(), QStringLiteral("Players online:\tN/A"));
    EXPECT_EQ(form.ui().label_servers->text(), QStringLiteral("Servers online:\tN/A"));
    EXPECT_EQ(form.ui().Label_serverall->text(), QStringLiteral("Total server count: N/A"));
    EXPECT_TRUE(form.ui().Label3->isHidden());
    EXPECT_TRUE(form.ui().Thread_killer->isActive());

    form.ui().Name_edit->clear();
    std::vector<std::string> stored;
    for (const char *letter : {"A", "n", "n"}) {
        QTest::keyClicks(form.ui().Name_edit, QString::fromLatin1(letter));
        stored.push_back(w.settings->ReadString("nick", "?"));
    }
    EXPECT_EQ(stored, (std::vector<std::string>{"A", "An", "Ann"}));
}

// The notice tells that white_list.txt is there; a file that cannot be read (a folder of that name) still shows it,
// and filters nothing.
TEST(FormsTest, WhiteListFileShowsTheNotice)
{
    setMasterHost("127.0.0.1:9");
    struct Case {
        const char *what;
        bool readable;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"a readable file", true, {"1.2.3.4:10481"}},
        {"a folder of that name", false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WindowUnderTest w;
        const std::string file = w.folder.file("white_list.txt");
        if (c.readable)
            std::ofstream(file) << "1.2.3.4:10481\r\n";
        else
            ASSERT_TRUE(std::filesystem::create_directory(file));
        ASSERT_TRUE(w.create());
        w.form1().ui().Timer2->stop();
        EXPECT_FALSE(w.form1().ui().Label3->isHidden());
        EXPECT_EQ(w.form1().refreshEngine()->WhiteList(), c.entries);
        QTest::mouseClick(w.form1().ui().Label3, Qt::LeftButton);
        ASSERT_EQ(w.dialogs.shown().size(), 1u);
        EXPECT_EQ(w.dialogs.shown().front().kind, DialogKind::Information);
        EXPECT_NE(w.dialogs.shown().front().text.find("Location: " + file), std::string::npos);
    }
}

TEST(FormsTest, WithoutRightsOnTheProgramFolderTheProgramEndsAfterTheError)
{
    // Below a regular file nothing can be created, not even by root.
    TempDir dir;
    std::ofstream(dir.file("file")) << "x";
    setMasterHost("127.0.0.1:9");
    WindowUnderTest w({}, dir.file("file") + "/home/");
    EXPECT_FALSE(w.create());
    ASSERT_EQ(w.dialogs.shown().size(), 1u);
    EXPECT_EQ(w.dialogs.shown().front().kind, DialogKind::Error);
    EXPECT_EQ(w.dialogs.shown().front().text,
              "Please run the application as administrator!\r\nUnable to start without admin rights.");
    EXPECT_FALSE(w.form1().ui().Timer2->isActive());
    EXPECT_EQ(w.form1().ui().Label29->text(), QStringLiteral("0")) << "no version check";
}

TEST(FormsTest, CloseRequestsShowTheQuitWindowNoClosesItYesEndsTheProgram)
{
    setMasterHost("127.0.0.1:9");
    WindowUnderTest w;
    ASSERT_TRUE(w.create());
    TForm1 &form = w.form1();
    form.ui().Timer2->stop();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    QCloseEvent altF4;
    QCoreApplication::sendEvent(&form, &altF4);
    EXPECT_FALSE(altF4.isAccepted());
    EXPECT_TRUE(form.isVisible());
    TForm4 *quit = w.forms->Form4();
    ASSERT_TRUE(quit->isVisible());
    EXPECT_EQ(quit->Label1->text(), QStringLiteral("Quit application ?"));
    EXPECT_TRUE(quit->isModal() || quit->windowModality() == Qt::ApplicationModal);

    QTest::mouseClick(quit->SpeedButton2, Qt::LeftButton);
    EXPECT_FALSE(quit->isVisible());
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(w.killed.empty());

    QTest::mouseClick(form.ui().sSpeedButton6, Qt::LeftButton);
    ASSERT_TRUE(quit->isVisible());
    QTest::mouseClick(quit->SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(w.killed, std::vector<std::string>{"pelorix"});
}

TEST(FormsTest, AboutBoxVersionTextFollowsTheMenuNotTheFooter)
{
    setMasterHost("127.0.0.1:9");
    WindowUnderTest w;
    ASSERT_TRUE(w.create());
    TForm1 &form = w.form1();
    form.ui().Timer2->stop();
    TForm2 *about = w.forms->Form2();
    struct Step {
        bool fromMenu;
        QString version;
    };
    for (const Step &step : {Step{false, QStringLiteral("v1.x")}, Step{true, QStringLiteral("v1.79")},
                             Step{false, QStringLiteral("v1.79")}}) {
        if (step.fromMenu)
            form.ui().About1->trigger();
        else
            form.bottom_labelClick();
        EXPECT_TRUE(about->isVisible());
        EXPECT_EQ(about->Label1->text(), step.version);
        about->close();
    }
    about->Label3Click();
    EXPECT_EQ(w.opened, std::vector<std::string>{TForm2::kHomePage});
}

TEST(FormsTest, AboutBoxStartsOnlyAWindowsInstaller)
{
    struct Case {
        std::string installer;
        bool started;
    };
    for (const Case &c : {Case{"MZ installer", true}, Case{"#!/bin/sh\necho started\n", false},
                          Case{std::string("\177ELF\2\1\1\0", 8), false}}) {
        SCOPED_TRACE(c.installer);
        ReferenceWorld world("v1.79", "news", 1, c.installer);
        TempDir tools;
        const RecordingScript wine(tools.path(), "fake-wine");
        ScopedEnvironment launcher("PELORIX_WINE", wine.path());
        WindowUnderTest w;
        ASSERT_TRUE(w.create());
        w.form1().ui().Timer2->stop();
        TForm2 *about = w.forms->Form2();
        w.form1().ui().About1->trigger();

        about->Image1DblClick();

        const std::string installer = w.folder.file("install.exe");
        EXPECT_FALSE(about->isVisible());
        EXPECT_FALSE(w.form1().ui().update_panel->isVisible());
        EXPECT_TRUE(w.killed.empty()) << "the program keeps running";
        EXPECT_TRUE(w.opened.empty());
        if (c.started) {
            EXPECT_NE(wine.waitForRecord().find("\n[" + installer + "]\n"), std::string::npos);
            EXPECT_TRUE(std::ifstream(installer).good());
            EXPECT_TRUE(w.dialogs.shown().empty());
        } else {
            EXPECT_EQ(wine.waitForRecord(std::chrono::milliseconds(300)), "(never run)");
            EXPECT_FALSE(std::ifstream(installer).good());
            ASSERT_EQ(w.dialogs.shown().size(), 1u);
            EXPECT_EQ(w.dialogs.shown()[0].text, refusedInstallerText(installer));
        }
    }
}

TEST(FormsTest, ProxyWindowLoadsOnShowSavesTheFiveKeysAndTheCrossWritesNothing)
{
    setMasterHost("127.0.0.1:9");
    WindowUnderTest w;
    ASSERT_TRUE(w.create());
    w.form1().ui().Timer2->stop();
    w.settings->WriteString("proxyserver", "10.0.0.1");
    TForm6 *proxy = w.forms->Form6();
    w.form1().ui().Proxysetup1->trigger();
    ASSERT_TRUE(proxy->isVisible());
    EXPECT_EQ(proxy->Edit3->text(), QStringLiteral("10.0.0.1"));
    EXPECT_FALSE(proxy->sCheckBox1->isChecked());

    proxy->Edit3->setText(QStringLiteral("changed"));
    QTest::mouseClick(proxy->sSpeedButton2, Qt::LeftButton);
    EXPECT_FALSE(proxy->isVisible());
    EXPECT_EQ(w.settings->ReadString("proxyserver", ""), "10.0.0.1");

    w.form1().ui().Proxysetup1->trigger();
    EXPECT_EQ(proxy->Edit3->text(), QStringLiteral("10.0.0.1")) << "reloaded on every showing";
    proxy->sCheckBox1->setChecked(true);
    proxy->Edit1->setText(QStringLiteral("user"));
    proxy->Edit2->setText(QStringLiteral(" secret "));
    proxy->Edit4->setText(QStringLiteral("3128"));
    QTest::mouseClick(proxy->sSpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(proxy->isVisible());
    EXPECT_TRUE(w.settings->ReadBool("proxy", false));
    EXPECT_EQ(w.settings->ReadString("proxyuser", ""), "user");
    EXPECT_EQ(w.settings->ReadString("proxypassword", ""), " secret ");
    EXPECT_EQ(w.settings->ReadString("proxyserver", ""), "10.0.0.1");
    EXPECT_EQ(w.settings->ReadString("proxyport", ""), "3128");
}

TEST(FormsTest, EveryLabelOfTheWindowsShowsPlainText)
{
    setMasterHost("127.0.0.1:9");
    WindowUnderTest w;
    ASSERT_TRUE(w.create());
    w.form1().ui().Timer2->stop();
    const QWidget *windows[] = {&w.form1(), w.forms->Form2(), w.forms->Form4(), w.forms->Form5(), w.forms->Form6()};
    int labels = 0;
    for (const QWidget *window : windows) {
        for (const QLabel *label : window->findChildren<QLabel *>()) {
            ++labels;
            EXPECT_EQ(label->textFormat(), Qt::PlainText)
                << window->objectName().toStdString() << ": " << label->text().toStdString();
        }
    }
    EXPECT_GE(labels, 20);
}

TEST(FormsTest, MessageOfTheDayShowsItsMarkupAsCharacters)
{
    test::LoopbackHttpServer service;
    const std::string motd = "<b>x</b><img src=a>\r\n<i>second</i> line";
    service.addReply(
        test::LoopbackHttpServer::lengthReply(std::string(ProgramVersion) + "\r\n\r\n" + service.url("/motd.txt")));
    service.addReply(test::LoopbackHttpServer::lengthReply(motd));
    setMasterHost(service.hostPort());
    WindowUnderTest w;
    ASSERT_TRUE(w.create());
    TForm5 *message = w.forms->Form5();
    ASSERT_TRUE(waitUntil([&] { return message->isVisible(); }));
    setMasterHost("127.0.0.1:9");
    EXPECT_EQ(message->Memo1->toPlainText(), QStringLiteral("<b>x</b><img src=a>\n<i>second</i> line"));
    EXPECT_EQ(message->Memo1->document()->blockCount(), 2);
}

TEST(FormsTest, SecondRunOfTheSameExecutableExitsAtOnceWithCodeZero)
{
    TempDir home;
    TempDir runtime;
    // The web service answers every request with the program's own version (no update offer); as a master
    // list that text names no server that answers.
    test::LoopbackHttpServer master;
    master.setDefaultReply(test::LoopbackHttpServer::lengthReply(std::string(ProgramVersion) + "\r\n\r\n"));
    const std::map<std::string, std::string> env = {{"PELORIX_HOME", home.path()},
                                                    {"XDG_RUNTIME_DIR", runtime.path()},
                                                    {"XDG_CONFIG_HOME", home.file("config")},
                                                    {"QT_QPA_PLATFORM", "offscreen"},
                                                    {"PELORIX_MASTER_HOST", master.hostPort()}};
    const auto count = [&master](const std::string &path) {
        const auto requests = master.requests();
        return std::count_if(requests.begin(), requests.end(),
                             [&](const std::string &r) { return r.find("GET " + path) == 0; });
    };
    ChildProcess first(PELORIX_GUI_BIN, {}, env);
    // The first run is through its start-up once it asked for the version and then for the list.
    ASSERT_TRUE(waitUntil([&] { return count("/info/ver.php") == 1 && count("/vekta4list.php") == 1; }, 30000))
        << first.stderrText();
    std::string out;
    std::string err;
    EXPECT_EQ(runProcess(PELORIX_GUI_BIN, {"second"}, &out, &err, env, std::chrono::seconds(30)), 0) << err;
    EXPECT_TRUE(first.running());
    // The second run handed over its arguments and ended without a version request of its own.
    EXPECT_EQ(count("/info/ver.php"), 1);
}

} // namespace
} // namespace pelorix
