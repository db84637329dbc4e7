#include "support/WindowTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace pelorix::test
{

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
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

WindowUnderTest::WindowUnderTest(QStringList arguments, std::string programFolder)
{
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
    services.endInOrder = [this] { ++endedInOrder; };
    services.programFolder = programFolder.empty() ? folder.path() : programFolder;
    services.executableFileName = "pelorix";
    services.arguments = std::move(arguments);
    services.cursorFile = QString::fromStdString(folder.file("cr.data"));
    preparedServices = std::move(services);
}

bool WindowUnderTest::create()
{
    forms = std::make_unique<Forms>(std::move(preparedServices));
    return forms->started();
}

} // namespace pelorix::test
