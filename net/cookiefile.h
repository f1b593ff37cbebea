#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/cookiejar.h"

// The most a cookies file may hold: it is read whole.
inline constexpr std::int64_t MaxCookieFileBytes = std::int64_t{64} << 20;

// Adds the cookies of a cookies file to jar; the lines skipped come back in problems. False,
// with the reason, when the file cannot be read at all.
bool ReadCookieFile(const std::string& fileName, TCookieJar& jar, std::int64_t now,
                    std::vector<TCookieFileProblem>& problems, std::string& reason);
// Writes the jar's cookies over fileName at once or not at all, readable by its owner alone:
// cookies open accounts. False, with the reason, when it could not be written.
bool WriteCookieFile(const std::string& fileName, const TCookieJar& jar, std::int64_t now,
                     std::string& reason);
