#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TArguments;
class TCookieJar;

// The options run and get share for what goes with every request: the speed limit, the
// identity and the cookies. Unset ones leave the stored settings (run) or nothing (get).
struct TRequestOptions
{
    std::optional<std::int64_t> limitRate;
    std::optional<std::string> loadCookies;
    std::string saveCookies;
    std::optional<std::string> userAgent;
    std::vector<std::string> headers;

    // Takes the current argument with its value when it is one of these options. A value that
    // could split or forge a request raises TUsageError.
    bool Take(TArguments& arguments);
    // Whether any of the options that only an HTTP request carries was given.
    bool ForHttpOnly() const;
    // Reads the cookies file named by --load-cookies into jar; one that cannot be read raises
    // TUsageError. Returns the lines skipped, as "FILE line N skipped: REASON".
    std::vector<std::string> ReadCookies(TCookieJar& jar, std::int64_t now) const;
};
