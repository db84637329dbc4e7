#include "shell/widgets/Forms.h"

#include "core/EventPump.h"
#include "discovery/WebClient.h"
#include "shell/widgets/AboutBox.h"
#include "shell/widgets/MessageWindow.h"
#include "shell/widgets/ProxyWindow.h"
#include "shell/widgets/QuitWindow.h"

#include <QWidget>

namespace pelorix
{

Forms::Forms(TForm1Services services)
{
    m_form1 = std::make_unique<TForm1>(std::move(services));
    m_started = m_form1->FormCreate();
    if (!m_started)
        return;
    TForm1 *form1 = m_form1.get();
    const TForm1Services &s = form1->services();

    TForm2::Services about;
    about.shellOpen = s.shellOpen;
    about.downloadToFile = [form1](const std::string &address, const std::string &path) {
        return form1->webClient()->DownloadToFile(address, path);
    };
    about.showUpdatePanel = [form1](bool visible) {
        form1->update_panel->setVisible(visible);
        if (visible) {
            form1->update_panel->raise();
            form1->services().pump->processPendingEvents();
        }
    };
    about.programFolder = s.programFolder;
    about.dialogs = s.dialogs;
    m_form2 = std::make_unique<TForm2>(std::move(about), form1);
    m_form4 = std::make_unique<TForm4>(s.killProcesses, s.executableFileName, form1);
    m_form5 = std::make_unique<TForm5>(form1);
    m_form6 = std::make_unique<TForm6>(*s.settings, form1);
    form1->setForms(m_form2.get(), m_form4.get(), m_form5.get(), m_form6.get());
}

Forms::~Forms()
{
    // The small windows are children of the main window; they go first.
    m_form6.reset();
    m_form5.reset();
    m_form4.reset();
    m_form2.reset();
    m_form1.reset();
}

} // namespace pelorix
