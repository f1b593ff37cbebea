#pragma once

#include <exception>
#include <string>

namespace platform
{
// Runs a handler at the edge of the event loop. Whatever it raises is caught here and handed to
// report as a message; nothing unwinds into Qt, whose event loop cannot carry an exception.
template <typename Handler, typename Report> void Guarded(Handler&& handler, Report&& report) noexcept
{
    std::string message;
    try
    {
        handler();
        return;
    }
    catch (const std::exception& error)
    {
        message = error.what();
    }
    catch (...)
    {
        message = "Unknown exception";
    }
    try
    {
        report(message);
    }
    catch (...)
    {
    }
}
} // namespace platform
