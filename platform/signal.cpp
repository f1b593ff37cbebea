#include "platform/signal.h"

#include <algorithm>

#include <QMetaObject>
#include <QObject>

namespace platform
{
TSignal::TSignal() : context(std::make_unique<QObject>()) {}

TSignal::~TSignal()
{
    *alive = false;
    for (TWait* wait : waits)
        wait->waiting = false;
}

TSignal::TWait::~TWait()
{
    if (waiting)
        signal.waits.erase(std::find(signal.waits.begin(), signal.waits.end(), this));
}

void TSignal::TWait::await_suspend(std::coroutine_handle<> step)
{
    handle = step;
    number = signal.nextNumber++;
    waiting = true;
    signal.waits.push_back(this);
}

void TSignal::Notify()
{
    ++notices;
    notifiedBelow = nextNumber;
    if (posted || waits.empty())
        return;
    posted = true;
    QMetaObject::invokeMethod(
        context.get(), [this] { ResumeNotified(); }, Qt::QueuedConnection);
}

void TSignal::ResumeNotified()
{
    posted = false;
    // One at a time: a step that goes on may give up another that waits, which then leaves the
    // queue itself; one that waits again is numbered past the notice and stays. A step that goes
    // on may also end the signal itself, which then is not looked at again.
    const std::shared_ptr<bool> stillAlive = alive;
    while (!waits.empty() && waits.front()->number < notifiedBelow)
    {
        TWait* wait = waits.front();
        waits.pop_front();
        wait->waiting = false;
        wait->handle.resume();
        if (!*stillAlive)
            return;
    }
}
} // namespace platform
