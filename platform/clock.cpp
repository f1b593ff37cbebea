#include "platform/clock.h"

namespace platform
{
namespace
{
std::function<QDateTime()>& Source()
{
    static std::function<QDateTime()> source;
    return source;
}
} // namespace

QDateTime Now()
{
    // Tests of whole programs set the clock of a child process through its environment.
    static const qint64 offset = qEnvironmentVariableIntValue("KESTROW_CLOCK_OFFSET_MS");
    return Source() ? Source()() : QDateTime::currentDateTime().addMSecs(offset);
}

std::function<QDateTime()> SetClock(std::function<QDateTime()> source)
{
    std::function<QDateTime()> previous = std::move(Source());
    Source() = std::move(source);
    return previous;
}

ScriptedClock::ScriptedClock(const QDateTime& start, int stepMilliseconds)
    : Time(start), StepMilliseconds(stepMilliseconds)
{
    previous = SetClock(
        [this]
        {
            const QDateTime now = Time;
            Time = Time.addMSecs(StepMilliseconds);
            ++Readings;
            return now;
        });
}

ScriptedClock::~ScriptedClock()
{
    SetClock(std::move(previous));
}
} // namespace platform
