#pragma once

#include <functional>

#include "platform/task.h"

namespace platform
{
// Lets pending events run once, as "process pending messages" did.
void ProcessMessages();

// Blocks in the event loop until an event arrives or maxMilliseconds have passed: what a
// blocking wait calls between tests of its condition.
void WaitForEvents(int maxMilliseconds = 2);

// A pause that keeps the interface alive: events are processed for the given time, or until
// ends (when given) holds. Returns false when ends cut the pause short.
bool Pause(int milliseconds, const std::function<bool()>& ends = {});

// The same pause as a step of a run: nothing waits on the stack, the event loop goes on, and
// ends is looked at every 50 ms. Returns false when ends cut the pause short.
TTask<bool> PauseAsync(int milliseconds, std::function<bool()> ends = {});

// Lets the event loop handle what is pending (the window repaints, a button's command comes)
// before the step goes on.
TTask<void> Yield();

// Tests shorten pauses: every pause lasts milliseconds * numerator / denominator.
void SetPauseScale(int numerator, int denominator);
// The milliseconds of every pause asked for so far, before the scale: what a test checks the
// program's pacing by.
long long PausesAskedFor();

// Time-outs (the watchdog, the waits for a server's last words) are scaled apart from pauses,
// so that a test can cut pauses to nothing and still give a server time to answer.
int TimeOutMilliseconds(int milliseconds);
void SetTimeOutScale(int numerator, int denominator);
} // namespace platform
