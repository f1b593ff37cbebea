#include "platform/task.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace taskdriver
{
void RunEventsUntilEnded(const std::function<void(std::function<void()> quit)>& start)
{
    bool ended = false;
    start([&] { ended = true; });
    // Each turn waits for the next event and handles what has come; the task's end is one of
    // them. A program told to quit meanwhile still gets the task's result first.
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
} // namespace taskdriver
