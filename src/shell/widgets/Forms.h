#pragma once

#include "core/ServerTable.h"
#include "shell/widgets/MainWindow.h"

#include <memory>

namespace pelorix
{

class DeleteServer;
class RefreshEngine;
class SyncColumnsHook;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class VersionCheck;
class WebClient;

// The program's windows and the engine's parts they share, each created once: the table, the web client, the main
// window, the refresh engine, the version check and the SyncColumns hook, then the main window's creation handler,
// then the About box, the quit window, the message of the day and the proxy window (children of the main window).
// The Add server window comes last.
class Forms
{
  public:
    explicit Forms(TForm1Services services);
    ~Forms();
    Forms(const Forms &) = delete;
    Forms &operator=(const Forms &) = delete;

    // False when the main window's creation ended the program (no administrator rights).
    bool started() const { return m_started; }

    TForm1 *Form1() const { return m_form1.get(); }
    TForm2 *Form2() const { return m_form2; }
    TForm3 *Form3() const { return m_form3; }
    TForm4 *Form4() const { return m_form4; }
    TForm5 *Form5() const { return m_form5; }
    TForm6 *Form6() const { return m_form6; }
    WebClient *webClient() const { return m_web.get(); }

  private:
    // Members go in the reverse order of these lines, so each goes before what it uses: the hook, the version
    // check and the refresh engine (its threads joined) while the window they write to is still there; the window,
    // with its small windows and its column views, before the table they show; the table last.
    ServerTable m_table;
    std::unique_ptr<WebClient> m_web;
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<RefreshEngine> m_refresh;
    std::unique_ptr<VersionCheck> m_version;
    std::unique_ptr<SyncColumnsHook> m_syncHook;
    std::unique_ptr<DeleteServer> m_delete;
    TForm2 *m_form2 = nullptr;
    TForm3 *m_form3 = nullptr;
    TForm4 *m_form4 = nullptr;
    TForm5 *m_form5 = nullptr;
    TForm6 *m_form6 = nullptr;
    bool m_started = false;
};

} // namespace pelorix
