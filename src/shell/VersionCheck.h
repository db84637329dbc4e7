#pragma once

#include <functional>
#include <string>

namespace pelorix
{

class Dialogs;
class SettingsStore;

// The program's own version, shown in the footer and the About box and compared with the newest one.
inline constexpr char ProgramVersion[] = "v1.79";

// Asks the web service once per run for the newest version and the message of the day, shows a new
// message once, and offers a different version as an update. No widgets here: the main window wires
// the services below and shows what the results ask for.
class VersionCheck
{
  public:
    struct Services {
        // WebClient::WebGet: the reply text, "" when the service is unreachable, "1;404" on a client fault.
        std::function<std::string(const std::string &address, const std::string &userAgent)> WebGet;
        // WebClient::DownloadToFile: true when the file was written.
        std::function<bool(const std::string &address, const std::string &filePath)> DownloadToFile;
        // Runs the downloaded installer, once it is known to be a Windows program, through the Wine launcher
        // without waiting for it; StartWindowsProgram when empty.
        std::function<bool(const std::string &file)> StartWindowsProgram;
        // Ends every process with this executable file name, this one included.
        std::function<bool(const std::string &executableName)> KillProcessesByName;
        // Shows update_panel ("Downloading update, please wait . . .") before the download blocks.
        std::function<void()> ShowUpdatePanel;
        // Stops Timer2, so the deferred start-up step does not fire again while the offer is open. Optional.
        std::function<void()> StopDeferredTimer;
        // The folder install.exe goes to, ending with '/'; ProgramFolder() when empty.
        std::string programFolder;
        // The program's own executable file name; ExecutableFileName() when empty.
        std::string executableName;
    };

    VersionCheck(SettingsStore &settings, Dialogs &dialogs, Services services);

    // Fetches the version reply and, when it has a third line, the message of the day; applies the
    // offline rule. Run once, by the main window's creation handler.
    void CheckVersion();
    // True when the message of the day differs from the last one shown (by its digest in "motd"); writes the
    // new digest to "motd". The window puts MotdText into Memo1 every time and shows itself when this is true.
    bool ShowNewMessage();
    // Offers a different version as an update. On Yes the installer is downloaded and started (only a Windows
    // program: anything else is deleted and reported), and the program ends. False only after Yes, when the
    // program is then already ending.
    bool OfferUpdate();

    const std::string &LatestVersion() const { return m_latestVersion; }
    const std::string &MotdText() const { return m_motdText; }
    // The footer's version text: "Version: v1.79", with " (offline)" when the service gave no usable answer.
    const std::string &Label29Text() const { return m_label29Text; }
    bool offline() const { return m_offline; }

  private:
    SettingsStore &m_settings;
    Dialogs &m_dialogs;
    Services m_services;
    std::string m_latestVersion;
    std::string m_motdText;
    std::string m_label29Text;
    bool m_offline = false;
};

// The update question, as the information dialog shows it.
std::string updateOfferText(const std::string &latestVersion);

} // namespace pelorix
