#pragma once

#include <functional>

namespace platform
{
// Lets pending events run once, as "process pending messages" did.
void ProcessMessages();

// Blocks in the event loop until an event arrives or maxMilliseconds have passed.
// Blocking waits call this between tests of their condition.
void WaitForEvents(int maxMilliseconds = 2);

// A pause that keeps the interface alive: events are processed for the given time.
void Pause(int milliseconds);

// Tests shorten pauses: every pause lasts milliseconds * numerator / denominator.
void SetPauseScale(int numerator, int denominator);
} // namespace platform
