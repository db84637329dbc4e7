#include "shell/widgets/QtEventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace pelorix
{

void QtEventPump::waitForEvents(std::chrono::milliseconds maxWait)
{
    if (maxWait.count() <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    // The wake-up timer is itself an event, so WaitForMoreEvents returns at the latest when it fires.
    QTimer wakeUp;
    wakeUp.setSingleShot(true);
    wakeUp.setTimerType(Qt::PreciseTimer);
    wakeUp.start(maxWait);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtEventPump::processPendingEvents()
{
    QCoreApplication::processEvents();
}

} // namespace pelorix
