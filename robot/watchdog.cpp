#include "robot/watchdog.h"

#include <algorithm>

#include <QTimer>

#include "platform/eventguard.h"
#include "platform/pause.h"

TWatchdog::TWatchdog(QObject* owner) : QObject(owner), ticker(new QTimer(this))
{
    connect(ticker, &QTimer::timeout, this,
            [this]
            {
                platform::Guarded([this] { Tick(); },
                                  [this](const std::string& message)
                                  {
                                      if (OnError)
                                          OnError(message);
                                  });
            });
}

void TWatchdog::Start(int seconds)
{
    limit = platform::TimeOutMilliseconds(seconds * 1000);
    fired = false;
    sinceActivity.start();
    // Late by at most a tenth of the time-out, and never by more than a second.
    ticker->start(static_cast<int>(std::clamp<qint64>(limit / 10, 1, 1000)));
}

void TWatchdog::Stop()
{
    paused = false;
    ticker->stop();
}

void TWatchdog::Restart()
{
    sinceActivity.restart();
}

void TWatchdog::Pause()
{
    paused = ticker->isActive();
    ticker->stop();
}

void TWatchdog::Resume()
{
    if (!paused)
        return;
    paused = false;
    sinceActivity.restart();
    ticker->start();
}

void TWatchdog::Tick()
{
    if (HeldBack && HeldBack())
        sinceActivity.restart();
    if (sinceActivity.elapsed() < limit)
        return;
    fired = true;
    sinceActivity.restart();
    if (OnTimeOut)
        OnTimeOut();
}
