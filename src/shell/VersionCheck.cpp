#include "shell/VersionCheck.h"

#include "core/Dialogs.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/RequestSignature.h"
#include "discovery/WebRequests.h"
#include "platform/ProgramFolder.h"
#include "shell/Installer.h"

#include <unistd.h>
#include <utility>
#include <vector>

namespace pelorix
{

namespace
{

constexpr char kMotdKey[] = "motd";
constexpr char kInstallerFile[] = "install.exe";

} // namespace

std::string updateOfferText(const std::string &latestVersion)
{
    // The dialog shows the text as given: the question's "Download & install" has one ampersand here,
    // the form it takes on screen (a dialog caption would double it to escape the accelerator mark).
    return std::string("New version of Pelorix was found.\r\n\r\nYou have: ") + ProgramVersion +
           "\r\nAvailable: " + latestVersion + "\r\n\r\nDownload & install now?";
}

VersionCheck::VersionCheck(SettingsStore &settings, Dialogs &dialogs, Services services)
    : m_settings(settings)
    , m_dialogs(dialogs)
    , m_services(std::move(services))
{
    if (m_services.programFolder.empty())
        m_services.programFolder = ProgramFolder();
    else if (m_services.programFolder.back() != '/')
        m_services.programFolder += '/';
    if (m_services.executableName.empty())
        m_services.executableName = ExecutableFileName();
}

void VersionCheck::CheckVersion()
{
    const WebRequest versionQuery = versionRequest();
    const std::vector<std::string> lines = splitLines(m_services.WebGet(versionQuery.address, versionQuery.userAgent));
    m_latestVersion = lines.empty() ? std::string() : lines[0];
    // Line 2 is not used; line 3 is the address of the message of the day. A shorter reply fetches none.
    if (lines.size() >= 3) {
        const WebRequest motdQuery = motdRequest(lines[2]);
        m_motdText = m_services.WebGet(motdQuery.address, motdQuery.userAgent);
    }
    m_label29Text = std::string("Version: ") + ProgramVersion;
    // No reply, or the service's error page: the program counts as up to date and says it is offline.
    m_offline = m_latestVersion.empty() || m_latestVersion.find("404 Not Found") != std::string::npos;
    if (m_offline) {
        m_latestVersion = ProgramVersion;
        m_label29Text += " (offline)";
    }
}

bool VersionCheck::ShowNewMessage()
{
    // Each message is shown once; an empty one (an offline start) has a digest too, so it is shown once as well.
    const std::string digest = Md5Hex(m_motdText, true);
    if (m_settings.ReadString(kMotdKey, "") == digest)
        return false;
    m_settings.WriteString(kMotdKey, digest);
    return true;
}

bool VersionCheck::OfferUpdate()
{
    // Any other version text is offered, a "newer" one or not: the comparison is exact, letter case included.
    if (m_latestVersion == ProgramVersion)
        return true;
    if (m_services.StopDeferredTimer)
        m_services.StopDeferredTimer();
    if (m_dialogs.message(DialogKind::Information, updateOfferText(m_latestVersion), DialogButtons::YesNo) !=
        DialogAnswer::Yes)
        return true;

    const std::string installer = m_services.programFolder + kInstallerFile;
    ::unlink(installer.c_str());
    if (m_services.ShowUpdatePanel)
        m_services.ShowUpdatePanel();
    // A failed download leaves no installer: starting it then fails silently, and the program still ends.
    // So does one that is refused, once the user has read why.
    m_services.DownloadToFile(installerAddress(), installer);
    StartDownloadedInstaller(installer, m_dialogs, m_services.StartWindowsProgram);
    m_services.KillProcessesByName(m_services.executableName);
    return false;
}

} // namespace pelorix
