#pragma once

#include <QPoint>

class QWidget;

namespace pelorix
{

// The move gesture, run from a mouse-press handler on the target's background: the target then
// follows the mouse until the button is released.
// - A window (top-level widget) is moved by the window system (QWindow::startSystemMove); where
//   the window system cannot (offscreen, some X11 setups) the window follows the mouse by hand.
// - A panel (child widget) moves inside its parent and never leaves the parent's rectangle.
// globalPressPos is the press position in screen coordinates (QMouseEvent::globalPosition());
// the one-argument form takes QCursor::pos().
void startMoveGesture(QWidget *target, QPoint globalPressPos);
void startMoveGesture(QWidget *target);

// Centres a panel in its parent window (each half rounded toward zero) and raises it above the
// other controls: a 465 x 177 panel in a 1123 x 712 window lands at left 329, top 268.
void CenterPanel(QWidget *panel);

} // namespace pelorix
