#pragma once

#include <functional>
#include <string>

#include "platform/exception.h"

// The message of the Exception an action raises, or "(no exception)".
inline std::string MessageOf(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const Exception& error)
    {
        return error.Message();
    }
    return "(no exception)";
}
