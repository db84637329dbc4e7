#include "shell/widgets/Forms.h"

#include "admin/DeleteServer.h"
#include "discovery/RefreshEngine.h"
#include "discovery/WebClient.h"
#include "shell/VersionCheck.h"
#include "shell/widgets/AboutBox.h"
#include "shell/widgets/AddServerWindow.h"
#include "shell/widgets/MessageWindow.h"
#include "shell/widgets/ProxyWindow.h"
#include "shell/widgets/QuitWindow.h"
#include "view/widgets/SyncColumnsHook.h"

#include <QTimer>

namespace pelorix
{

Forms::Forms(TForm1Services services)
{
    SettingsStore &settings = *services.settings;
    Dialogs &dialogs = *services.dialogs;
    EventPump &pump = *services.pump;
    m_web = std::make_unique<WebClient>(settings, pump, dialogs);
    WebClient *web = m_web.get();
    m_form1 = std::make_unique<TForm1>(std::move(services), m_table);
    TForm1 *form1 = m_form1.get();
    const TForm1Services &s = form1->services();

    m_refresh = std::make_unique<RefreshEngine>(
        m_table, settings, dialogs, pump, *form1,
        [web](const std::string &address, const std::string &userAgent) { return web->WebGet(address, userAgent); });

    VersionCheck::Services version;
    version.WebGet = [web](const std::string &address, const std::string &userAgent) {
        return web->WebGet(address, userAgent);
    };
    version.DownloadToFile = [web](const std::string &address, const std::string &filePath) {
        return web->DownloadToFile(address, filePath);
    };
    version.KillProcessesByName = s.killProcesses;
    version.ShowUpdatePanel = [form1] { form1->setUpdatePanelVisible(true); };
    version.StopDeferredTimer = [form1] { form1->ui().Timer2->stop(); };
    version.programFolder = s.programFolder;
    version.executableName = s.executableFileName;
    m_version = std::make_unique<VersionCheck>(settings, dialogs, std::move(version));

    m_syncHook = std::make_unique<SyncColumnsHook>(m_table);
    m_delete = std::make_unique<DeleteServer>(*web, dialogs);
    form1->setEngine({m_refresh.get(), m_version.get(), m_syncHook.get(), m_delete.get()});

    m_started = form1->FormCreate();
    if (!m_started)
        return;

    TForm2::Services about;
    about.shellOpen = s.shellOpen;
    about.downloadToFile = [web](const std::string &address, const std::string &path) {
        return web->DownloadToFile(address, path);
    };
    about.showUpdatePanel = [form1](bool visible) { form1->setUpdatePanelVisible(visible); };
    about.programFolder = s.programFolder;
    about.dialogs = s.dialogs;
    m_form2 = new TForm2(std::move(about), form1);
    m_form4 = new TForm4(s.killProcesses, s.executableFileName, form1);
    m_form5 = new TForm5(form1);
    m_form6 = new TForm6(settings, form1);
    form1->setForms(m_form2, m_form4, m_form5, m_form6);
    // After an addition the deferred start-up step runs again, 100 ms later.
    m_form3 = new TForm3(
        *web, pump, dialogs,
        [form1] {
            form1->ui().Timer2->setInterval(100);
            form1->ui().Timer2->start();
        },
        form1);
    form1->setAddServerWindow(m_form3);
}

Forms::~Forms()
{
    m_form1->FormDestroy();
}

} // namespace pelorix
