#pragma once

// Shared by the window tests: one QApplication per test program, and a main window built with test doubles.

#include "core/SettingsStore.h"
#include "shell/widgets/Forms.h"
#include "shell/widgets/QtEventPump.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Failure messages show a QString as its text.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace pelorix::test
{

inline QApplication &guiApplication()
{
    static int argc = 1;
    static char name[] = "pelorix-window-test";
    static char *argv[] = {name, nullptr};
    static QApplication *application = new QApplication(argc, argv);
    return *application;
}

// Handles events until the condition holds or the time runs out.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

// The main window and its small windows over a scratch program folder and settings file.
struct WindowUnderTest {
    TempDir folder;
    ScriptedDialogs dialogs;
    QtEventPump pump;
    std::unique_ptr<SettingsStore> settings;
    std::vector<std::string> killed;
    std::vector<std::string> opened;
    std::unique_ptr<Forms> forms;

    explicit WindowUnderTest(QStringList arguments = {}, std::string programFolder = {})
    {
        guiApplication();
        settings = std::make_unique<SettingsStore>(folder.file("settings.reg"));
        TForm1Services services;
        services.dialogs = &dialogs;
        services.pump = &pump;
        services.settings = settings.get();
        services.killProcesses = [this](const std::string &name) {
            killed.push_back(name);
            return true;
        };
        services.shellOpen = [this](const std::string &file, const std::string &, const std::string &) {
            opened.push_back(file);
            return true;
        };
        services.programFolder = programFolder.empty() ? folder.path() : programFolder;
        services.executableFileName = "pelorix";
        services.arguments = std::move(arguments);
        services.cursorFile = QString::fromStdString(folder.file("cr.data"));
        preparedServices = std::move(services);
    }

    // Runs the windows' creation (the main window's FormCreate included).
    bool create()
    {
        forms = std::make_unique<Forms>(std::move(preparedServices));
        return forms->started();
    }

    TForm1 &form1() { return *forms->Form1(); }

    TForm1Services preparedServices;
};

} // namespace pelorix::test
