#pragma once

#include "shell/widgets/Artwork.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMouseEvent>

namespace pelorix
{

// A picture button of the skin: its picture in white (normal) or yellow (pointer over it, or pressed); no caption.
class PictureButton final : public QAbstractButton
{
    Q_OBJECT

  public:
    PictureButton(ButtonKind kind, QWidget *parent = nullptr);
    bool isHighlighted() const { return underMouse() || isDown(); }

  signals:
    // The pointer entered the button or moved over it (the window's hover texts).
    void mouseMoved();

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

  private:
    ButtonPictures m_pictures;
};

// A label or picture box that reports the pointer: press, move, click (release inside) and double click.
// Its text is plain text.
class EventLabel final : public QLabel
{
    Q_OBJECT

  public:
    explicit EventLabel(QWidget *parent = nullptr);

  signals:
    void mousePressed(QMouseEvent *event);
    void mouseMoved(QMouseEvent *event);
    // A left button released inside the label.
    void clicked();
    void doubleClicked();

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// The background of a borderless window: a black panel with a thin grey frame over the whole of the window's fixed
// size, which takes the presses that drag the window.
EventLabel *blackWindowPanel(QWidget *window, int width, int height);

} // namespace pelorix
