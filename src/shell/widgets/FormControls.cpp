#include "shell/widgets/FormControls.h"

#include <QMouseEvent>
#include <QPainter>

namespace pelorix
{

PictureButton::PictureButton(ButtonKind kind, QWidget *parent)
    : QAbstractButton(parent)
    , m_pictures(buttonPixmaps(kind))
{
    setFixedSize(buttonSize(kind));
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPixmap &picture = isHighlighted() ? m_pictures.hover : m_pictures.normal;
    painter.drawPixmap(rect(), picture);
}

void PictureButton::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved();
    QAbstractButton::mouseMoveEvent(event);
}

void PictureButton::enterEvent(QEnterEvent *event)
{
    emit mouseMoved();
    update();
    QAbstractButton::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent *event)
{
    update();
    QAbstractButton::leaveEvent(event);
}

EventLabel::EventLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
}

void EventLabel::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event);
    event->accept();
}

void EventLabel::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved(event);
    event->accept();
}

void EventLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    event->accept();
}

void EventLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    emit doubleClicked();
    event->accept();
}

EventLabel *blackWindowPanel(QWidget *window, int width, int height)
{
    window->setFixedSize(width, height);
    auto *panel = new EventLabel(window);
    panel->setGeometry(0, 0, width, height);
    panel->setStyleSheet(QStringLiteral("background: black; border: 1px solid #404040;"));
    return panel;
}

} // namespace pelorix
