#include "view/widgets/SyncColumnsHook.h"

#include "core/ServerTable.h"
#include "view/widgets/ColumnListView.h"

#include <QEvent>

#include <QCoreApplication>

namespace pelorix
{

SyncColumnsHook::SyncColumnsHook(ServerTable &table)
    : m_table(table)
{
}

SyncColumnsHook::~SyncColumnsHook()
{
    if (m_installed && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

void SyncColumnsHook::install()
{
    if (m_installed || !QCoreApplication::instance())
        return;
    QCoreApplication::instance()->installEventFilter(this);
    m_installed = true;
}

void SyncColumnsHook::run()
{
    // The alignment itself sends events to the views; they must not run it again from inside.
    if (m_running || ColumnListView::applyingAny())
        return;
    m_running = true;
    ++m_runs;
    m_table.SyncColumns();
    m_running = false;
}

// Events that reach the loop through its queue: from the window system, timers, posted calls and the
// repaint and layout requests. Events a handler sends directly (show, hide, enable) are part of that handler.
bool SyncColumnsHook::isQueuedEvent(const QEvent *event)
{
    if (event->spontaneous())
        return true;
    switch (event->type()) {
    case QEvent::Timer:
    case QEvent::MetaCall:
    case QEvent::UpdateRequest:
    case QEvent::UpdateLater:
    case QEvent::LayoutRequest:
    case QEvent::DeferredDelete:
    case QEvent::SockAct:
    case QEvent::User:
        return true;
    default:
        return false;
    }
}

bool SyncColumnsHook::eventFilter(QObject *, QEvent *event)
{
    if (isQueuedEvent(event))
        run();
    return false;
}

} // namespace pelorix
