#pragma once

#include "core/ServerTable.h"
#include "discovery/RefreshEngine.h"

#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

namespace pelorix
{

class ColumnListView;
class Dialogs;
class EventLabel;
class EventPump;
class PictureButton;
class SettingsStore;
class SyncColumnsHook;
class TForm2;
class TForm4;
class TForm5;
class TForm6;
class VersionCheck;
class WebClient;

// What the main window gets from outside: the program passes the real ones, tests their doubles.
struct TForm1Services {
    Dialogs *dialogs = nullptr;
    EventPump *pump = nullptr;
    SettingsStore *settings = nullptr;
    // KillProcessesByName: ends every process of an executable file name.
    std::function<bool(const std::string &)> killProcesses;
    // ShellOpen: file, parameters, working folder.
    std::function<bool(const std::string &, const std::string &, const std::string &)> shellOpen;
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
};

// The main window: the server table with its ten columns, the buttons, labels and panels around it.
class TForm1 final : public QWidget, public RefreshView
{
    Q_OBJECT

  public:
    explicit TForm1(TForm1Services services, QWidget *parent = nullptr);
    ~TForm1() override;

    // The creation steps; false when the program must end (no administrator rights), after the error was shown.
    bool FormCreate();
    // The other windows, created after this one.
    void setForms(TForm2 *form2, TForm4 *form4, TForm5 *form5, TForm6 *form6);

    // Start-up and quit.
    void Timer2Timer();
    void Image1_quitClick();
    void Name_editChange();
    // The close query: every request to close other than the quit window's YES is refused.
    bool FormCloseQuery();
    // Releases the refresh's threads and lists, and the column views, before the table goes.
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
    void ShowMapPicture();
    // The one place where a join of the selected server starts.
    void joinSelectedServer();

    // Buttons, menus and labels.
    void Image3click();
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

    // Engine state, for the windows and tests.
    ServerTable &table() { return m_table; }
    RefreshEngine *refreshEngine() const { return m_refresh.get(); }
    WebClient *webClient() const { return m_web.get(); }
    const TForm1Services &services() const { return m_services; }
    VersionCheck *versionCheck() const { return m_version.get(); }
    const std::array<std::string, 3> &ExecutablePaths() const { return m_executablePaths; }
    bool DragSelecting() const { return m_dragSelecting; }
    ColumnListView *columnView(Column column) const { return m_columns[column]; }
    // Runs the SyncColumns hook as the event loop does before an event.
    void syncColumnsNow();

    // Controls, under their design names.
    EventLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Name_edit = nullptr;
    QLabel *Label_players = nullptr;
    QLabel *label_servers = nullptr;
    QLabel *Label_serverall = nullptr;
    EventLabel *Label3 = nullptr;
    QLabel *MAP_picture = nullptr;
    EventLabel *bottom_label = nullptr;
    QLabel *Label29 = nullptr;
    PictureButton *sSpeedButton5 = nullptr;  // ADD SERVER
    PictureButton *sSpeedButton7 = nullptr;  // OPTIONS
    PictureButton *sSpeedButton6 = nullptr;  // QUIT
    PictureButton *sSpeedButton8 = nullptr;  // REFRESH
    PictureButton *sSpeedButton9 = nullptr;  // DIRECT IP
    PictureButton *sSpeedButton10 = nullptr; // FILTERS
    PictureButton *sSpeedButton11 = nullptr; // JOIN
    QWidget *update_panel = nullptr;
    QWidget *sprogressbar2 = nullptr;
    QProgressBar *ProgressBar = nullptr;
    QPushButton *cancel_ping_button = nullptr;
    QLabel *Label_Cache = nullptr;
    QTimer *Timer2 = nullptr;
    QTimer *Thread_killer = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *Joinserver1 = nullptr;
    QAction *Updatesingle1 = nullptr;
    QAction *Showplayers2 = nullptr;
    QAction *N1 = nullptr;
    QAction *Deleteserver1 = nullptr;
    QMenu *PopupMenu2 = nullptr;
    QAction *SelectVEKTA410executable1 = nullptr;
    QAction *SelectVEKTA411executable1 = nullptr;
    QAction *SelectVEKTA4DVHexecutable1 = nullptr;
    QAction *S1 = nullptr;
    QAction *N2 = nullptr;
    QAction *Proxysetup1 = nullptr;
    QAction *G1 = nullptr;
    QAction *N3 = nullptr;
    QAction *Messageoftheday1 = nullptr;
    QAction *About1 = nullptr;
    ColumnListView *ListBox0_index = nullptr;
    ColumnListView *ListBox1_servername = nullptr;
    ColumnListView *ListBox2_players = nullptr;
    ColumnListView *ListBox3_ping = nullptr;
    ColumnListView *ListBox4_gametype = nullptr;
    ColumnListView *ListBox5_mapname = nullptr;
    ColumnListView *ListBox6_ipaddress = nullptr;
    ColumnListView *ListBox7_mod = nullptr;
    ColumnListView *ListBox8_version = nullptr;
    ColumnListView *Listbox10_check = nullptr;

  signals:
    // Every join request of the selected server (Join button, popup item, Enter, double click).
    void joinRequested();

  protected:
    // Asks FormCloseQuery.
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void createControls();
    void createColumns();
    void createPanels();
    void createMenus();
    void connectButtons();
    void selectRowAt(int y);
    // Scrolls the table as little as needed to bring the row into sight.
    void showRow(int row);
    bool popupShortcut(QKeyEvent *event);
    void setHover(const QString &text);
    void showModal(QWidget *window);
    void showMessageWindow();
    static void centreOnScreen(QWidget *window);

    TForm1Services m_services;
    ServerTable m_table;
    std::unique_ptr<WebClient> m_web;
    std::unique_ptr<RefreshEngine> m_refresh;
    std::unique_ptr<VersionCheck> m_version;
    std::unique_ptr<SyncColumnsHook> m_syncHook;
    std::array<ColumnListView *, ColumnCount> m_columns{};
    std::array<std::string, 3> m_executablePaths;
    bool m_dragSelecting = false;
    TForm2 *m_form2 = nullptr;
    TForm4 *m_form4 = nullptr;
    TForm5 *m_form5 = nullptr;
    TForm6 *m_form6 = nullptr;
};

} // namespace pelorix
