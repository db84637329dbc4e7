#include "platform/widgets/MoveGesture.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace pelorix
{

namespace
{

// Follows the mouse until the buttons are released, moving the target by the mouse's travel since
// the press. Watches the whole application, since the press may have been on a child of the target.
class MoveFollower : public QObject
{
  public:
    MoveFollower(QWidget *target, QPoint globalPressPos)
        : QObject(qApp)
        , m_target(target)
        , m_pressPos(globalPressPos)
        , m_startPos(target->pos())
    {
        qApp->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_target) {
            finish();
            return false;
        }
        switch (event->type()) {
        case QEvent::MouseMove: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->buttons() == Qt::NoButton) {
                finish();
                break;
            }
            // An event passed on to parent widgets comes by more than once; following is idempotent.
            if (watched->isWidgetType())
                follow(mouse->globalPosition().toPoint());
            break;
        }
        case QEvent::MouseButtonRelease:
            if (watched->isWidgetType()) {
                follow(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
                finish();
            }
            break;
        default:
            break;
        }
        return false;
    }

  private:
    void follow(QPoint globalPos)
    {
        QPoint wanted = m_startPos + (globalPos - m_pressPos);
        if (const QWidget *parent = m_target->isWindow() ? nullptr : m_target->parentWidget()) {
            // A panel stays inside its parent's rectangle.
            const int maxX = std::max(0, parent->width() - m_target->width());
            const int maxY = std::max(0, parent->height() - m_target->height());
            wanted.setX(std::clamp(wanted.x(), 0, maxX));
            wanted.setY(std::clamp(wanted.y(), 0, maxY));
        }
        if (wanted != m_target->pos())
            m_target->move(wanted);
    }

    void finish()
    {
        if (m_done)
            return;
        m_done = true;
        qApp->removeEventFilter(this);
        deleteLater();
    }

    QPointer<QWidget> m_target;
    QPoint m_pressPos;
    QPoint m_startPos;
    bool m_done = false;
};

} // namespace

void startMoveGesture(QWidget *target, QPoint globalPressPos)
{
    if (!target)
        return;
    if (target->isWindow()) {
        if (QWindow *window = target->windowHandle(); window && window->startSystemMove())
            return;
    }
    new MoveFollower(target, globalPressPos);
}

void startMoveGesture(QWidget *target)
{
    startMoveGesture(target, QCursor::pos());
}

void CenterPanel(QWidget *panel)
{
    if (!panel)
        return;
    if (const QWidget *parent = panel->parentWidget()) {
        const int top = parent->height() / 2 - panel->height() / 2;
        const int left = parent->width() / 2 - panel->width() / 2;
        panel->move(left, top);
    }
    panel->raise();
}

} // namespace pelorix
