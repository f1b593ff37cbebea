#pragma once

#include <string>

#include <QString>

namespace platform
{
// The one place where program text (single-byte, kept as std::string) meets widget text.
QString ToQString(const std::string& text);
std::string ToStdString(const QString& text);
} // namespace platform
