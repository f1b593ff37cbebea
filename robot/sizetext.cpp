#include "robot/sizetext.h"

#include <cstdio>

#include <QLocale>

#include "platform/widgettext.h"

namespace
{
std::string Formatted(double value, int decimals, const char* unit)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string result = text;
    const std::string separator = platform::ToStdString(QLocale().decimalPoint());
    if (const std::size_t dot = result.find('.'); dot != std::string::npos && separator != ".")
        result.replace(dot, 1, separator);
    return result + unit;
}
} // namespace

std::string SizeText(std::int64_t count)
{
    if (count < 1024)
        return std::to_string(count);
    if (count < 1048576)
        return Formatted(static_cast<double>(count) / 1024.0, 1, "K");
    return Formatted(static_cast<double>(count) / 1048576.0, 2, "M");
}
