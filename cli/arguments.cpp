#include "cli/arguments.h"

#include <charconv>

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
