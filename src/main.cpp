#include "core/SettingsStore.h"
#include "platform/ProcessList.h"
#include "platform/ProgramFolder.h"
#include "platform/ShellOpen.h"
#include "platform/widgets/SingleInstance.h"
#include "shell/widgets/Artwork.h"
#include "shell/widgets/Forms.h"
#include "shell/widgets/QtDialogs.h"
#include "shell/widgets/QtEventPump.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    using namespace pelorix;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelorix"));
    QApplication::setWindowIcon(programIcon());

    // One copy per executable: a later run hands its arguments to the first and ends at once.
    SingleInstance instance;
    if (instance.claim(QApplication::arguments()) == SingleInstance::Role::Secondary)
        return 0;

    QtDialogs dialogs;
    QtEventPump pump;
    SettingsStore settings(SettingsStore::defaultPath());

    TForm1Services services;
    services.dialogs = &dialogs;
    services.pump = &pump;
    services.settings = &settings;
    services.killProcesses = [](const std::string &name) { return KillProcessesByName(name); };
    services.shellOpen = [](const std::string &file, const std::string &parameters, const std::string &folder) {
        return ShellOpen(file, parameters, folder);
    };
    services.programFolder = ProgramFolder();
    services.executableFileName = ExecutableFileName();
    services.arguments = QApplication::arguments().mid(1);

    Forms forms(std::move(services));
    if (!forms.started())
        return 0;
    dialogs.setParent(forms.Form1());
    QObject::connect(&instance, &SingleInstance::activationRequested, forms.Form1(),
                     [&forms] { bringToFront(forms.Form1()); });
    instance.deliverActivations();
    forms.Form1()->show();
    return QApplication::exec();
}
