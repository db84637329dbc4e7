#pragma once

// Shared by the window tests: a main window built with test doubles, and a wait that keeps the windows alive.

#include "core/SettingsStore.h"
#include "shell/widgets/Forms.h"
#include "shell/widgets/QtEventPump.h"
#include "support/GuiTestMain.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <QApplication>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelorix::test
{

// Handles events until the condition holds or the time runs out.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);

// The main window and its small windows over a scratch program folder and settings file.
struct WindowUnderTest {
    TempDir folder;
    ScriptedDialogs dialogs;
    QtEventPump pump;
    std::unique_ptr<SettingsStore> settings;
    std::vector<std::string> killed;
    std::vector<std::string> opened;
    int endedInOrder = 0;
    std::unique_ptr<Forms> forms;

    explicit WindowUnderTest(QStringList arguments = {}, std::string programFolder = {});

    // Runs the windows' creation (the main window's FormCreate included).
    bool create();

    TForm1 &form1() { return *forms->Form1(); }

    TForm1Services preparedServices;
};

} // namespace pelorix::test
