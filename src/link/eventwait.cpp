#include "eventwait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace quorvex {

void wait_for_events(int maxMs)
{
    if (maxMs <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // A precise timer bounds the sleep: a coarse one may fire up to 5% early, which turns
    // a deadline into a flaky one.
    QTimer deadline;
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.setSingleShot(true);
    deadline.start(maxMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace quorvex
