#pragma once

#include "shell/widgets/Artwork.h"

#include <QAbstractButton>
#include <QLabel>

#include <functional>

namespace pelorix
{

// A picture button of the skin: its picture in white (normal) or yellow (pointer over it, or pressed); no caption.
class PictureButton final : public QAbstractButton
{
    Q_OBJECT

  public:
    PictureButton(ButtonKind kind, QWidget *parent = nullptr);
    // Called on every pointer move over the button (the window's hover texts).
    std::function<void()> onMouseMove;
    bool isHighlighted() const { return underMouse() || isDown(); }

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
    std::function<void(QMouseEvent *)> onMousePress;
    std::function<void(QMouseEvent *)> onMouseMove;
    std::function<void()> onClick;
    std::function<void()> onDoubleClick;

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

} // namespace pelorix
