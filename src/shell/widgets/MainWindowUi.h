#pragma once

#include "core/ServerTable.h"

#include <QString>

#include <array>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;

namespace pelorix
{

class ColumnListView;
class EventLabel;
class FilterPanel;
class PictureButton;
class TForm1;

// The main window's status line over the table, as the design has it and as the table's hover sets it.
inline QString selectServerText()
{
    return QStringLiteral("Select a server to connect to.");
}

// The main window's controls under their design names. setupUi creates each one on the window (its Qt parent and
// owner) at its pixel position, with its font, picture and text, and builds the two popup menus; it connects
// nothing: the window connects its handlers.
struct MainWindowUi {
    void setupUi(TForm1 *form);

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
    QLabel *update_panel = nullptr;
    QWidget *sprogressbar2 = nullptr;
    QProgressBar *ProgressBar = nullptr;
    QPushButton *cancel_ping_button = nullptr;
    QLabel *Label_Cache = nullptr;
    // The direct-connect panel and its controls.
    EventLabel *directIP_panel = nullptr;
    QLabel *Label11 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLabel *Label13 = nullptr;
    QComboBox *ComboBox3 = nullptr;
    QLabel *Label12 = nullptr;
    QLineEdit *Edit2 = nullptr;
    PictureButton *sSpeedButton1 = nullptr; // connect
    PictureButton *sSpeedButton2 = nullptr; // close
    QTimer *Timer2 = nullptr;
    QTimer *Thread_killer = nullptr;
    QTimer *Timer_join = nullptr;
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
    // The ten column views again, by column.
    std::array<ColumnListView *, ColumnCount> columns{};
    // The nine invisible click areas over the column titles, left to right (Image10, Image9, Image11 to Image17).
    EventLabel *Image9 = nullptr;
    EventLabel *Image10 = nullptr;
    EventLabel *Image11 = nullptr;
    EventLabel *Image12 = nullptr;
    EventLabel *Image13 = nullptr;
    EventLabel *Image14 = nullptr;
    EventLabel *Image15 = nullptr;
    EventLabel *Image16 = nullptr;
    EventLabel *Image17 = nullptr;
    std::array<EventLabel *, 9> sortAreas{};
    // The filter panel, hidden until opened.
    FilterPanel *Panel1 = nullptr;
};

} // namespace pelorix
