#pragma once

// How much the activity log records; a level logs everything of the levels below it.
enum class TLogLevel : int
{
    None = 0,
    URLs = 1,      // URLs, Errors
    Files = 2,     // URLs, Files, Errors
    HttpCodes = 3, // URLs, Files, HTTP codes, Errors
};
