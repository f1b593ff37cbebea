#pragma once

#include <string>

#include <QString>

namespace platform
{
// The one place where program text (single-byte, kept as std::string) meets widget text.
// Text is taken as UTF-8; a byte that is no part of UTF-8 (a name in another code page) is
// carried as the lone surrogate U+DC80 + byte, which a widget shows as a replacement
// character and ToStdString turns back into the byte, so that a name shown and taken back
// from a widget is the name it was.
QString ToQString(const std::string& text);
std::string ToStdString(const QString& text);
} // namespace platform
