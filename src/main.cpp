#include "core/MasterHost.h"
#include "core/SettingsStore.h"
#include "platform/ProcessList.h"
#include "platform/ProgramFolder.h"
#include "platform/QuitSignals.h"
#include "platform/ShellOpen.h"
#include "platform/widgets/SingleInstance.h"
#include "shell/VersionCheck.h"
#include "shell/widgets/Artwork.h"
#include "shell/widgets/Forms.h"
#include "shell/widgets/QtDialogs.h"
#include "shell/widgets/QtEventPump.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace
{

// The manual page is made from this text (help2man), so it says everything the page should.
const char *const kHelp = R"(Usage: pelorix [safe]

The server browser for VEKTA 4 and its expansion: every public game server in one table, filtered
and sorted, with its players, a wait for a free slot, and a join that starts the game through Wine.
The server addresses come from the master-list service; when it cannot be reached, the last list
received (cache.dat) is used. Every server is then asked for its status over UDP.

Only one copy of an executable runs at a time: starting it again brings the running window to the
front, hands over the arguments and ends with status 0. The window ends on QUIT and YES, and in
order on SIGTERM, SIGINT or SIGHUP.

Options:
  safe              store the setting "ignoreping" as 1 (in any letter case)
  -h, --help        print this text and exit
  --version         print the version and exit

Files:
  ${XDG_CONFIG_HOME:-~/.config}/PELORIX/PELORIX.reg
                    the settings, a REGEDIT4 text file (pelorix-cli settings reads and
                    writes it)
  FOLDER/cache.dat  the last server list received, used while the service cannot be
                    reached
  FOLDER/white_list.txt
                    when it exists, only the servers it lists (one host:port a line) are
                    shown
  FOLDER/install.exe
                    the installer last downloaded (About box, update offer)
  FOLDER/maps/MAP.jpg, SHARE/maps/MAP.jpg
                    the picture of the selected server's map, from the program folder
                    first; none.jpg when there is none
  cr.data           an optional Windows cursor file in the working folder

  FOLDER, the program folder, is $PELORIX_HOME when it is set; for an installed copy (the
  executable in a bin folder beside share/pelorix) ${XDG_DATA_HOME:-~/.local/share}/pelorix,
  created at the first start; otherwise the executable's own folder. It must be writable, or the
  program says it needs administrator rights and ends. SHARE is the installed share/pelorix.

Environment:
  PELORIX_HOME      the program folder
  PELORIX_MASTER_HOST
                    host:port of the master-list service (default: @MASTER_HOST@)
  PELORIX_WINE      the command that runs the game's Windows executables (default: wine)
  PELORIX_BROWSER   the command that opens the home page (default: xdg-open)
)";

// The arguments that only print: answered before any window or display is needed.
bool printsOnly(int argc, char **argv, int &status)
{
    if (argc < 2)
        return false;
    const char *first = argv[1];
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
        std::string help = kHelp;
        const std::string placeholder = "@MASTER_HOST@";
        help.replace(help.find(placeholder), placeholder.size(), pelorix::DefaultMasterHost());
        std::fputs(help.c_str(), stdout);
        status = 0;
        return true;
    }
    if (std::strcmp(first, "--version") == 0) {
        std::printf("pelorix %s\n", pelorix::ProgramVersion + 1);
        status = 0;
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace pelorix;

    if (int status = 0; printsOnly(argc, argv, status))
        return status;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelorix"));
    QApplication::setDesktopFileName(QStringLiteral(PELORIX_APP_ID));
    QApplication::setWindowIcon(programIcon());

    // One copy per executable: a later run hands its arguments to the first and ends at once.
    SingleInstance instance;
    if (instance.claim(QApplication::arguments()) == SingleInstance::Role::Secondary)
        return 0;

    // A signal ends the event loop in order. exit(), not quit(): quit() asks the windows to close, and the
    // main window answers a close request with the quit window.
    QuitSignals quitSignals;
    bool quitRequested = false;
    std::unique_ptr<QSocketNotifier> quitNotifier;
    if (quitSignals.active()) {
        quitNotifier = std::make_unique<QSocketNotifier>(quitSignals.fd(), QSocketNotifier::Read);
        QObject::connect(quitNotifier.get(), &QSocketNotifier::activated, [&quitSignals, &quitRequested] {
            quitSignals.take();
            quitRequested = true;
            QCoreApplication::exit(0);
        });
    }

    QtDialogs dialogs;
    QtEventPump pump;
    SettingsStore settings(SettingsStore::defaultPath());

    const ProgramLocation location = currentProgramLocation();
    TForm1Services services;
    services.dialogs = &dialogs;
    services.pump = &pump;
    services.settings = &settings;
    services.killProcesses = [](const std::string &name) { return KillProcessesByName(name); };
    services.shellOpen = [](const std::string &file, const std::string &parameters, const std::string &folder) {
        return ShellOpen(file, parameters, folder);
    };
    services.programFolder = location.folder;
    services.sharedFolder = location.sharedFolder;
    services.executableFileName = ExecutableFileName();
    services.arguments = QApplication::arguments().mid(1);

    Forms forms(std::move(services));
    // A signal during start-up ends the run here: exec() would forget the request.
    if (!forms.started() || quitRequested)
        return 0;
    dialogs.setParent(forms.Form1());
    QObject::connect(&instance, &SingleInstance::activationRequested, forms.Form1(),
                     [&forms] { bringToFront(forms.Form1()); });
    instance.deliverActivations();
    forms.Form1()->show();
    return QApplication::exec();
}
