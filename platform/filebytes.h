#pragma once

#include <cstdint>
#include <string>

// The most a file that is read whole may hold: a list file or a page, whose contents are kept
// in memory at once.
inline constexpr std::int64_t MaxWholeFileBytes = std::int64_t{1} << 30;

// The whole content of a file; raises Exception with the file system's error, or
// "The file NAME is larger than N bytes" when it holds more than maxBytes (a device such as
// /dev/zero never ends, so the bound is what stops it).
std::string ReadFileBytes(const std::string& fileName, std::int64_t maxBytes = MaxWholeFileBytes);

// The text of a file too large to be read whole.
std::string FileTooLargeText(const std::string& fileName, std::int64_t maxBytes);
