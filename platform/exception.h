#pragma once

#include <stdexcept>
#include <string>

// The program's one failure type: a fixed English message, shown or logged as it stands.
class Exception : public std::runtime_error
{
  public:
    explicit Exception(const std::string& message) : std::runtime_error(message), message(message) {}
    // The whole message; what() stops at a zero byte that wire text may carry.
    std::string Message() const { return message; }

  private:
    std::string message;
};

// The file system's refusals, worded as the user sees them: "Cannot open file "path". reason".
std::string FileOpenErrorText(const std::string& path, int errorNumber);
std::string FileCreateErrorText(const std::string& path, int errorNumber);
// Writes and reads fail with the reason as text (Qt's error string of the file).
std::string FileWriteErrorText(const std::string& path, const std::string& reason);
std::string FileReadErrorText(const std::string& path, const std::string& reason);
