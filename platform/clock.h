#pragma once

#include <functional>

#include <QDateTime>

namespace platform
{
// The current local date and time. Everything that waits for a time of day asks here,
// so that tests can set the clock. $KESTROW_CLOCK_OFFSET_MS moves the system clock by that
// many milliseconds, for tests that start the program as a process.
QDateTime Now();

// Installs a source of the time; an empty function restores the system clock.
// Returns the previous source (empty for the system clock).
std::function<QDateTime()> SetClock(std::function<QDateTime()> source);

// A clock for tests: reads Time, and each reading moves Time on by StepMilliseconds.
// Installs itself for its lifetime.
class ScriptedClock
{
  public:
    explicit ScriptedClock(const QDateTime& start, int stepMilliseconds = 0);
    ~ScriptedClock();
    ScriptedClock(const ScriptedClock&) = delete;
    ScriptedClock& operator=(const ScriptedClock&) = delete;

    QDateTime Time;
    int StepMilliseconds;
    int Readings = 0;

  private:
    std::function<QDateTime()> previous;
};
} // namespace platform
