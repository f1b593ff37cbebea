#pragma once

#include <functional>
#include <string>

#include <QElapsedTimer>
#include <QObject>

class QTimer;

// Gives up a transfer that has shown no sign of life for a whole time-out. A sign of life only
// notes the time, so a fast transfer that reports every chunk pays next to nothing for it; a
// coarse tick compares. Time-outs go through the platform's time-out scale.
class TWatchdog : public QObject
{
    Q_OBJECT

  public:
    explicit TWatchdog(QObject* owner = nullptr);

    // Called once per time-out without a sign of life while armed.
    std::function<void()> OnTimeOut;
    // Whether the transfer is only held back (by a speed limit) rather than silent: while it is,
    // the time-out counts afresh.
    std::function<bool()> HeldBack;
    // Hears what OnTimeOut raised; it goes no further.
    std::function<void(const std::string& message)> OnError;

    void Start(int seconds);
    void Stop();
    // A sign of life: the time-out counts from now.
    void Restart();
    // While the user is asked something nothing is counted; Resume counts afresh, and only when
    // the watchdog was armed at Pause.
    void Pause();
    void Resume();
    // Whether it fired since it was started.
    bool Fired() const { return fired; }

  private:
    void Tick();

    QTimer* ticker;
    QElapsedTimer sinceActivity;
    qint64 limit = 0;
    bool fired = false;
    bool paused = false;
};
