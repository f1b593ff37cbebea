#pragma once

#include <functional>

#include <QObject>

class QSocketNotifier;

// Ctrl+C and SIGTERM as a request to stop: the signal handler only writes a byte into a pipe,
// and the event loop, reading it, calls onStop (through the event guard). The default handlers
// come back when this goes.
class TSignalStop : public QObject
{
    Q_OBJECT

  public:
    explicit TSignalStop(std::function<void()> onStop);
    ~TSignalStop() override;

    // Whether a signal came.
    bool Interrupted() const { return interrupted; }

  private:
    std::function<void()> onStop;
    QSocketNotifier* notifier = nullptr;
    bool interrupted = false;
};
