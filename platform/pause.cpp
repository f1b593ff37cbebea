#include "platform/pause.h"

#include <algorithm>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace platform
{
namespace
{
int pauseNumerator = 1;
int pauseDenominator = 1;
int timeOutNumerator = 1;
int timeOutDenominator = 1;
long long asked = 0;
} // namespace

void ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitForEvents(int maxMilliseconds)
{
    // The single-shot timer guarantees that WaitForMoreEvents returns in time
    // even when nothing else happens.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(maxMilliseconds);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool Pause(int milliseconds, const std::function<bool()>& ends)
{
    asked += std::max(milliseconds, 0);
    const qint64 scaled = static_cast<qint64>(milliseconds) * pauseNumerator / pauseDenominator;
    QElapsedTimer elapsed;
    elapsed.start();
    ProcessMessages();
    while (elapsed.elapsed() < scaled)
    {
        if (ends && ends())
            return false;
        WaitForEvents(static_cast<int>(std::min<qint64>(scaled - elapsed.elapsed(), 50)));
    }
    return !(ends && ends());
}

namespace
{
// Resumes the awaiting step after a while, from the event loop. The timer goes with the step:
// a step given up before its time never hears of it.
class TTimerWait
{
  public:
    explicit TTimerWait(int milliseconds) : milliseconds(milliseconds) {}
    TTimerWait(const TTimerWait&) = delete;
    TTimerWait& operator=(const TTimerWait&) = delete;
    ~TTimerWait()
    {
        // It may be the timer whose signal resumed the step: deleted once that has returned.
        if (timer)
        {
            timer->stop();
            timer->disconnect();
            timer->deleteLater();
        }
    }
    bool await_ready() const { return false; }
    void await_suspend(std::coroutine_handle<> step)
    {
        timer = new QTimer();
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, [step] { step.resume(); });
        timer->start(std::max(milliseconds, 0));
    }
    void await_resume() const {}

  private:
    int milliseconds;
    QTimer* timer = nullptr;
};
} // namespace

TTask<bool> PauseAsync(int milliseconds, std::function<bool()> ends)
{
    asked += std::max(milliseconds, 0);
    const qint64 scaled = static_cast<qint64>(milliseconds) * pauseNumerator / pauseDenominator;
    QElapsedTimer elapsed;
    elapsed.start();
    co_await TTimerWait(0);
    while (elapsed.elapsed() < scaled)
    {
        if (ends && ends())
            co_return false;
        co_await TTimerWait(static_cast<int>(std::min<qint64>(scaled - elapsed.elapsed(), 50)));
    }
    co_return !(ends && ends());
}

TTask<void> Yield()
{
    co_await TTimerWait(0);
}

void SetPauseScale(int numerator, int denominator)
{
    pauseNumerator = numerator;
    pauseDenominator = denominator > 0 ? denominator : 1;
}

long long PausesAskedFor()
{
    return asked;
}

int TimeOutMilliseconds(int milliseconds)
{
    const qint64 scaled = static_cast<qint64>(milliseconds) * timeOutNumerator / timeOutDenominator;
    // A time-out is never nothing: a zero would fire before the first event.
    return static_cast<int>(std::clamp<qint64>(scaled, milliseconds > 0 ? 1 : 0, 0x7fffffff));
}

void SetTimeOutScale(int numerator, int denominator)
{
    timeOutNumerator = numerator > 0 ? numerator : 1;
    timeOutDenominator = denominator > 0 ? denominator : 1;
}
} // namespace platform
