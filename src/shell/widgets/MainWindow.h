#pragma once

#include "core/ServerTable.h"
#include "discovery/RefreshEngine.h"
#include "platform/ShellOpen.h"
#include "shell/widgets/MainWindowUi.h"
#include "view/ColumnSort.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace pelorix
{

class ColumnListView;
class DeleteServer;
class Dialogs;
class EventPump;
class GameInstallations;
class GameLaunch;
class SettingsStore;
class SyncColumnsHook;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class VersionCheck;

// What the main window gets from outside: the program passes the real ones, tests their doubles.
struct TForm1Services {
    Dialogs *dialogs = nullptr;
    EventPump *pump = nullptr;
    SettingsStore *settings = nullptr;
    // KillProcessesByName: ends every process of an executable file name.
    std::function<bool(const std::string &)> killProcesses;
    // ShellOpen: file, parameters, working folder.
    std::function<bool(const std::string &, const std::string &, const std::string &)> shellOpen;
    // IsProcessRunning, for the join's running-game check; the system's process list when not given.
    std::function<bool(const std::string &)> isProcessRunning;
    // Starts the game: executable and folder in the file system's bytes, the command line; planGameStart and
    // startGame when not given.
    std::function<GameStart(const std::string &, const std::string &, const std::string &)> startGame;
    // The desktop's bell, given when the wait for a free slot joins; QApplication::beep when not given.
    std::function<void()> beep;
    // Folder of cache.dat, white_list.txt, install.exe and maps/; ends with '/'.
    std::string programFolder;
    // An installed copy's share/pelorix/, whose maps/ is searched after the program folder's; may be empty.
    std::string sharedFolder;
    // The program's own executable file name, without its folder.
    std::string executableFileName;
    // The command-line arguments after the program name.
    QStringList arguments;
    // The optional cursor file, relative to the working folder.
    QString cursorFile = QStringLiteral("cr.data");
    // Ends the event loop in order (the delete lock); QCoreApplication::exit(0) when not given.
    std::function<void()> endInOrder;
};

// The engine's parts the main window works with. Forms creates them and keeps them for the whole run; the window
// uses them and owns none.
struct TForm1Engine {
    RefreshEngine *refresh = nullptr;
    VersionCheck *version = nullptr;
    SyncColumnsHook *syncHook = nullptr;
    DeleteServer *deletion = nullptr;
};

// The main window: the server table with its ten columns, the buttons, labels and panels around it. Its controls
// are in ui(); its handlers read them, call the engine and write them.
class TForm1 final : public QWidget, public RefreshView
{
    Q_OBJECT

  public:
    // The table outlives the window: the column views show it until they go with the window.
    TForm1(TForm1Services services, ServerTable &table, QWidget *parent = nullptr);
    ~TForm1() override;

    // The engine's parts, before FormCreate.
    void setEngine(const TForm1Engine &engine);
    // The creation steps; false when the program must end (no administrator rights), after the error was shown.
    bool FormCreate();
    // The other windows, created after this one.
    void setForms(TForm2 *form2, TForm4 *form4, TForm5 *form5, TForm6 *form6);
    void setAddServerWindow(TForm3 *form3) { m_form3 = form3; }

    // Start-up and quit.
    void Timer2Timer();
    void Image1_quitClick();
    void Name_editChange();
    // The close query: every request to close other than the quit window's YES is refused.
    bool FormCloseQuery();
    // The window is going: its timers stop, so no handler runs against the engine's parts while they go.
    void FormDestroy();

    // The background: the move gesture and the empty hover text.
    void Image1MouseDown(QMouseEvent *event);
    void Image1MouseMove();
    // Hover texts of the buttons and the nick box.
    void sSpeedButton5MouseMove();
    void SpeedButton1MouseMove();
    void sSpeedButton6MouseMove();
    void refresh_imageMouseMove();
    void Image5MouseMove();
    void Image4MouseMove();
    void Join_imageMouseMove();
    void Name_editMouseMove();

    // The table.
    void ListBox1_servernameClick() override;
    void ListBox1_servernameDblClick();
    void ListBox1_servernameMouseDown(ColumnListView *view, QMouseEvent *event);
    void ListBox1_servernameMouseMove(ColumnListView *view, QMouseEvent *event);
    void ListBox1_servernameMouseUp(ColumnListView *view, QMouseEvent *event);
    // Keys of the name column that no popup shortcut consumed.
    void ListBox1_servernameKeyDown(QKeyEvent *event);
    void ListBox1_servernameVScroll();
    void Listbox10_checkClick();
    // The wait for a free slot: asks the checked server again and joins it once the count before was below its
    // maximum.
    void Timer_joinTimer();
    void ShowMapPicture();
    // The one place where a join of the selected server starts.
    void joinSelectedServer();

    // Buttons, menus and labels.
    void Image3click();
    void Deleteserver1Click();
    void sSpeedButton7Click();
    void refresh_imageClick();
    void Join_imageClick();
    void cancel_ping_buttonClick();
    void Thread_killerTimer();
    void G1Click();
    void Label3Click();
    void Proxysetup1Click();
    void Messageoftheday1Click();
    void About1Click();
    void bottom_labelClick();
    // The executable selections of the Options menu.
    void SelectVEKTA410executable1Click();
    void SelectVEKTA411executable1Click();
    void SelectVEKTA4DVHexecutable1Click();
    void S1Click();
    // The direct-connect panel: open or close, close, connect.
    void Image5Click();
    void Image2Click();
    void Image6Click();
    void directIP_panelMouseDown(QMouseEvent *event);
    void directIP_panelClick();

    // Sorting: one handler per column title.
    void Image10Click();
    void Image9Click();
    void Image11Click();
    void Image12Click();
    void Image13Click();
    void Image14Click();
    void Image15Click();
    void Image16Click();
    void Image17Click();
    // The selected server: asked again, its players.
    void Updatesingle1Click();
    void Showplayers2Click();
    // The filter panel.
    void Image4Click();
    void Image8Click();
    void Image7Click();
    void JvgCheckBox1Click();
    void JvgCheckBox3Click();
    void JvgCheckBox7Click();
    void Label4DblClick();
    void Panel1Click();
    void Panel1MouseDown(QMouseEvent *event);
    void button_findplayerClick();

    // update_panel, shown and drawn at once before a download blocks the window, or hidden again.
    void setUpdatePanelVisible(bool visible);

    // RefreshView.
    void setCacheLabelVisible(bool visible) override;
    void setTotalLabel(const std::string &text) override;
    void setProgressPanelVisible(bool visible) override;
    bool isProgressPanelVisible() const override;
    void setProgressMaximum(int maximum) override;
    void setProgressPosition(int position) override;
    void setCancelCaption(const std::string &caption) override;
    void setPlayersLabel(const std::string &text) override;
    void setServersLabel(const std::string &text) override;
    void clearMapPicture() override;
    void setMenuItemEnabled(RefreshMenuItem item, bool enabled) override;

    // The controls, under their design names.
    const MainWindowUi &ui() const { return m_ui; }

    // Engine state, for the windows and tests.
    ServerTable &table() { return m_table; }
    RefreshEngine *refreshEngine() const { return m_engine.refresh; }
    VersionCheck *versionCheck() const { return m_engine.version; }
    const TForm1Services &services() const { return m_services; }
    const std::array<std::string, 3> &ExecutablePaths() const;
    GameInstallations &installations() { return *m_installations; }
    bool DragSelecting() const { return m_dragSelecting; }
    // Runs the SyncColumns hook as the event loop does before an event.
    void syncColumnsNow();

  signals:
    // Every join request of the selected server (Join button, popup item, Enter, double click).
    void joinRequested();

  protected:
    // Asks FormCloseQuery.
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void connectHandlers();
    void connectColumns();
    void connectTableFeatures();
    void sortByArea(int area);
    void selectRowAt(int y);
    // Scrolls the table as little as needed to bring the row into sight.
    void showRow(int row);
    bool popupShortcut(QKeyEvent *event);
    void setHover(const QString &text);
    void showModal(QWidget *window);
    void showMessageWindow();
    static void centreOnScreen(QWidget *window);

    TForm1Services m_services;
    ServerTable &m_table;
    MainWindowUi m_ui;
    TForm1Engine m_engine;
    std::unique_ptr<GameInstallations> m_installations;
    std::unique_ptr<GameLaunch> m_launch;
    bool m_dragSelecting = false;
    // The nine direction toggles live for the run.
    ColumnSorter m_sorter;
    // The player list's follow-up counter, one for the program.
    int m_playerListFollowUps = 0;
    TForm2 *m_form2 = nullptr;
    TForm3 *m_form3 = nullptr;
    TForm4 *m_form4 = nullptr;
    TForm5 *m_form5 = nullptr;
    TForm6 *m_form6 = nullptr;
};

} // namespace pelorix
