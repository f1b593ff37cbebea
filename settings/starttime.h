#pragma once

#include <string>

class QTime;

// The user's time separator (from the locale's short time format; ":" when it has none).
std::string TimeSeparator();

// A time as the start-time grid shows it and the scheduled start compares it: hours and
// minutes, two digits each, 24-hour, joined by the user's time separator ("20:00").
std::string StartTimeText(const QTime& time);

// The text of start-time cell k (0..95): k quarter hours after midnight.
std::string StartTimeCellText(int cell);
