#include "shell/VersionCheck.h"

#include "core/MasterHost.h"
#include "core/SettingsStore.h"
#include "platform/AtomicFile.h"
#include "shell/Installer.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <map>
#include <unistd.h>

using namespace pelorix;
using pelorix::test::ScriptedDialogs;
using pelorix::test::TempDir;

namespace
{

const std::string kMotdAddress = "http://127.0.0.1:9/motd.txt";

// A web service that answers from a table and a log of everything the version check did.
struct Harness {
    TempDir dir;
    SettingsStore settings{dir.file("config/PELORIX/PELORIX.reg")};
    ScriptedDialogs dialogs;
    std::map<std::string, std::string> replies; // address -> reply; other addresses give ""
    std::vector<std::string> log;
    bool downloadSucceeds = true;
    std::string downloadContent = "MZ";
    std::unique_ptr<VersionCheck> check;

    Harness() { makeCheck(); }

    void makeCheck()
    {
        VersionCheck::Services services;
        services.WebGet = [this](const std::string &address, const std::string &agent) {
            log.push_back("get " + address + " " + agent);
            const auto it = replies.find(address);
            return it == replies.end() ? std::string() : it->second;
        };
        services.DownloadToFile = [this](const std::string &address, const std::string &path) {
            log.push_back("download " + address + " " + path + (::access(path.c_str(), F_OK) == 0 ? " (exists)" : ""));
            if (downloadSucceeds)
                writeFileAtomically(path, downloadContent);
            return downloadSucceeds;
        };
        services.StartWindowsProgram = [this](const std::string &file) {
            log.push_back("open " + file);
            return ::access(file.c_str(), F_OK) == 0;
        };
        services.KillProcessesByName = [this](const std::string &name) {
            log.push_back("kill " + name);
            return true;
        };
        services.ShowUpdatePanel = [this] { log.push_back("panel"); };
        services.StopDeferredTimer = [this] { log.push_back("stop Timer2"); };
        services.programFolder = dir.path();
        services.executableName = "pelorix";
        check = std::make_unique<VersionCheck>(settings, dialogs, services);
    }

    static std::string versionAddress() { return "http://" + MasterHost() + "/info/ver.php?id=2&all=yes"; }
};

} // namespace

TEST(VersionCheck, ReadsTheVersionReplyAndAppliesTheOfflineRule)
{
    struct Case {
        std::string reply;
        std::string latest;
        bool offline;
        bool motdRequested;
        bool offered;
    };
    const Case cases[] = {
        {"v1.79\r\nunused\r\n" + kMotdAddress + "\r\n", "v1.79", false, true, false},
        {"v1.80\r\nunused\r\n" + kMotdAddress, "v1.80", false, true, true},
        {"V1.79\r\nunused\r\n" + kMotdAddress, "V1.79", false, true, true}, // exact comparison
        {"v1.79\nunused\n" + kMotdAddress + "\nfurther\nlines\n", "v1.79", false, true, false},
        {"v1.79", "v1.79", false, false, false},
        {"v1.79\r\nunused", "v1.79", false, false, false},
        {"", "v1.79", true, false, false},
        {"<title>404 Not Found</title>\r\nx\r\n" + kMotdAddress, "v1.79", true, true, false},
        {"HTTP/1.0 404 Not Found", "v1.79", true, false, false},
        {"404 not found", "404 not found", false, false, true},
        {"1;404", "1;404", false, false, true}, // the client's own fault text is not recognised
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reply);
        Harness h;
        h.replies[Harness::versionAddress()] = c.reply;
        h.replies[kMotdAddress] = "Welcome\r\nto VEKTA 4";
        h.check->CheckVersion();

        EXPECT_EQ(h.check->LatestVersion(), c.latest);
        EXPECT_EQ(h.check->offline(), c.offline);
        EXPECT_EQ(h.check->Label29Text(), c.offline ? "Version: v1.79 (offline)" : "Version: v1.79");
        std::vector<std::string> requests{"get " + Harness::versionAddress() + " PELORIX"};
        if (c.motdRequested)
            requests.push_back("get " + kMotdAddress + " PELORIX");
        EXPECT_EQ(h.log, requests);
        EXPECT_EQ(h.check->MotdText(), c.motdRequested ? "Welcome\r\nto VEKTA 4" : "");

        h.log.clear();
        EXPECT_TRUE(h.check->OfferUpdate()); // the scripted dialog answers No
        EXPECT_EQ(h.dialogs.shown().size(), c.offered ? 1u : 0u);
        EXPECT_EQ(h.log, c.offered ? std::vector<std::string>{"stop Timer2"} : std::vector<std::string>{});
    }
}

TEST(VersionCheck, AcceptedUpdateReplacesTheInstallerStartsItAndEndsTheProgram)
{
    for (const bool downloadSucceeds : {true, false}) {
        SCOPED_TRACE(downloadSucceeds);
        Harness h;
        h.downloadSucceeds = downloadSucceeds;
        h.replies[Harness::versionAddress()] = "v1.80\r\n\r\n";
        h.check->CheckVersion();
        ASSERT_TRUE(writeFileAtomically(h.dir.file("install.exe"), "old installer"));
        h.log.clear();
        h.dialogs.setNextAnswer(DialogAnswer::Yes);

        EXPECT_FALSE(h.check->OfferUpdate());

        ASSERT_EQ(h.dialogs.shown().size(), 1u);
        EXPECT_EQ(h.dialogs.shown()[0].kind, DialogKind::Information);
        EXPECT_EQ(h.dialogs.shown()[0].buttons, DialogButtons::YesNo);
        EXPECT_EQ(h.dialogs.shown()[0].text, "New version of Pelorix was found.\r\n\r\nYou have: v1.79\r\n"
                                             "Available: v1.80\r\n\r\nDownload & install now?");
        const std::string installer = h.dir.file("install.exe");
        std::vector<std::string> expected{
            "stop Timer2",
            "panel",
            "download http://" + MasterHost() + "/download/vekta4/PELORIX_install.exe " + installer, // old one gone
            "open " + installer,
            "kill pelorix",
        };
        // Without a download there is nothing to start, and nothing is said about it.
        if (!downloadSucceeds)
            expected.erase(expected.begin() + 3);
        EXPECT_EQ(h.log, expected);
        EXPECT_EQ(::access(installer.c_str(), F_OK) == 0, downloadSucceeds);
        EXPECT_EQ(h.dialogs.shown().size(), 1u);
    }
}

TEST(VersionCheck, AnInstallerThatIsNoWindowsProgramIsDeletedAndNotStarted)
{
    Harness h;
    h.downloadContent = "#!/bin/sh\necho started\n";
    h.replies[Harness::versionAddress()] = "v1.80";
    h.check->CheckVersion();
    h.log.clear();
    h.dialogs.setNextAnswer(DialogAnswer::Yes);

    EXPECT_FALSE(h.check->OfferUpdate());

    const std::string installer = h.dir.file("install.exe");
    const std::vector<std::string> expected{
        "stop Timer2", "panel", "download http://" + MasterHost() + "/download/vekta4/PELORIX_install.exe " + installer,
        "kill pelorix", // the program ends as after a failed download, once the message has been read
    };
    EXPECT_EQ(h.log, expected);
    EXPECT_NE(::access(installer.c_str(), F_OK), 0);
    ASSERT_EQ(h.dialogs.shown().size(), 2u);
    EXPECT_EQ(h.dialogs.shown()[1].kind, DialogKind::Error);
    EXPECT_EQ(h.dialogs.shown()[1].text, refusedInstallerText(installer));
}

TEST(VersionCheck, DeclinedUpdateTouchesNothing)
{
    Harness h;
    h.replies[Harness::versionAddress()] = "v1.80";
    h.check->CheckVersion();
    ASSERT_TRUE(writeFileAtomically(h.dir.file("install.exe"), "old installer"));
    h.dialogs.setNextAnswer(DialogAnswer::No);
    EXPECT_TRUE(h.check->OfferUpdate());
    std::string kept;
    EXPECT_TRUE(readWholeFile(h.dir.file("install.exe"), kept));
    EXPECT_EQ(kept, "old installer");
    // The offer comes again each time the deferred step runs.
    EXPECT_TRUE(h.check->OfferUpdate());
    EXPECT_EQ(h.dialogs.shown().size(), 2u);
}

TEST(VersionCheck, EachMessageOfTheDayIsShownOnce)
{
    Harness h;
    h.replies[Harness::versionAddress()] = "v1.79\r\n\r\n" + kMotdAddress;
    h.replies[kMotdAddress] = "hello";
    h.check->CheckVersion();
    EXPECT_TRUE(h.check->ShowNewMessage());
    EXPECT_EQ(h.settings.ReadString("motd", ""), "5D41402ABC4B2A76B9719D911017C592"); // MD5 of "hello"
    EXPECT_FALSE(h.check->ShowNewMessage());                                          // the deferred step run again

    // The next run: the same message stays hidden, a changed one is shown once.
    h.makeCheck();
    h.check->CheckVersion();
    EXPECT_FALSE(h.check->ShowNewMessage());
    h.replies[kMotdAddress] = "hello again";
    h.makeCheck();
    h.check->CheckVersion();
    EXPECT_TRUE(h.check->ShowNewMessage());
    EXPECT_FALSE(h.check->ShowNewMessage());

    // Offline: the empty message has a digest of its own and is shown once as well.
    h.replies.clear();
    h.makeCheck();
    h.check->CheckVersion();
    EXPECT_EQ(h.check->MotdText(), "");
    EXPECT_TRUE(h.check->ShowNewMessage());
    EXPECT_EQ(h.settings.ReadString("motd", ""), "D41D8CD98F00B204E9800998ECF8427E");
    h.makeCheck();
    h.check->CheckVersion();
    EXPECT_FALSE(h.check->ShowNewMessage());
}
