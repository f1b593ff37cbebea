#include "cli/arguments.h"

#include <algorithm>
#include <charconv>
#include <cmath>

bool TArguments::WantsHelp() const
{
    for (int i = 0; i < count; ++i)
        if (std::string_view(values[i]) == "--help" || std::string_view(values[i]) == "-h")
            return true;
    return false;
}

std::string TArguments::Value()
{
    const std::string option(Current());
    if (at + 1 >= count)
        throw TUsageError{option + " needs a value"};
    return values[++at];
}

int TArguments::Number(int low, int high)
{
    const std::string option(Current());
    return WholeNumber(option, Value(), low, high);
}

int WholeNumber(std::string_view option, std::string_view text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
        value > high)
        throw TUsageError{std::string(option) + " takes a whole number from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", not '" + std::string(text) + "'"};
    return value;
}

std::int64_t ByteRate(std::string_view option, std::string_view text)
{
    // A terabyte per second is past any link; beyond it the number is a slip of the keyboard.
    constexpr double Largest = 1024.0 * 1024 * 1024 * 1024;
    std::string_view number = text;
    double unit = 1;
    if (!number.empty() && (number.back() == 'k' || number.back() == 'K'))
        unit = 1024;
    else if (!number.empty() && (number.back() == 'm' || number.back() == 'M'))
        unit = 1024 * 1024;
    if (unit > 1)
        number.remove_suffix(1);
    // Digits with at most one point and a digit somewhere: no sign, exponent or "inf".
    const bool shaped =
        std::count(number.begin(), number.end(), '.') <= 1 &&
        std::any_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
        std::all_of(number.begin(), number.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    double value = 0;
    if (shaped)
    {
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (error != std::errc() || end != number.data() + number.size())
            value = -1;
    }
    const double bytes = value * unit;
    if (!shaped || value < 0 || bytes > Largest)
        throw TUsageError{
            std::string(option) +
            " takes bytes per second as N, Nk or NM (such as 500k or 1.5M; 0 for no limit), not '" +
            std::string(text) + "'"};
    // A limit below a byte per second is still a limit, not none.
    return bytes > 0 ? std::max<std::int64_t>(std::llround(bytes), 1) : 0;
}
