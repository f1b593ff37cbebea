#pragma once

// The run indicator beside the File List.
enum class TIndicator : int
{
    None = 0,
    Timer = 1, // waiting for the scheduled start
    OK = 2,
    Error = 3,
};
