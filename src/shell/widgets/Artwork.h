#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace pelorix
{

// The program's artwork, drawn by code (no image files).

// The main window's background picture (Image1): 1123 x 692, black, the title JOIN GAME at the top
// left, the heading row of the server table from y 111 to 134 with a padlock over the lock column
// and thin vertical rules between the columns.
QPixmap backgroundPixmap();

enum class ButtonKind {
    AddServer,   // 177 x 25, "ADD SERVER" and a small downward triangle
    Options,     // 177 x 25, "OPTIONS" and a wrench
    Quit,        // 177 x 25, "QUIT" and a cross
    Refresh,     // 131 x 25
    DirectIp,    // 131 x 25
    Filters,     // 131 x 25
    Join,        // 200 x 29, "JOIN" and a rightward triangle
    Accept,      // 54 x 49, a check mark (save / OK)
    Cancel,      // 54 x 49, a cross (close)
    AcceptSmall, // 30 x 27
    CancelSmall, // 30 x 27
};

// The two states of a picture button: white on black (normal), yellow on black (hover, pressed).
struct ButtonPictures {
    QPixmap normal;
    QPixmap hover;
};
QSize buttonSize(ButtonKind kind);
ButtonPictures buttonPixmaps(ButtonKind kind);

// The 16 x 16 icons of the Options menu items, light grey on transparency.
enum class MenuIcon {
    Executable, // a game executable selection: a window with a play mark
    Proxy,      // proxy setup: two linked computers
    WhiteList,  // generate white list: a page with lines and a tick
    Message,    // message of the day: a speech bubble
    About,      // about: an "i" in a circle
};
QIcon menuIcon(MenuIcon kind);

// The program icon, a stylised radar mark, at any size (32 for the About box).
QPixmap programIconPixmap(int size);
// 16, 24, 32, 48, 64, 128 and 256 pixels, for QApplication::setWindowIcon.
QIcon programIcon();

} // namespace pelorix
