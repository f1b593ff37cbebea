#pragma once

#include <stdexcept>
#include <string>

// The program's one failure type: a fixed English message, shown or logged as it stands.
class Exception : public std::runtime_error
{
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// The file system's refusal to open a file, worded as the user sees it.
std::string FileOpenErrorText(const std::string& path, int errorNumber);
