#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One cookie as the cookies file and the jar hold it.
struct TCookie
{
    // Lower case, without a leading dot.
    std::string Domain;
    // Sent to the domain's subdomains too; false for a cookie of that host alone.
    bool IncludeSubdomains = false;
    std::string Path = "/";
    // Sent over https only.
    bool Secure = false;
    bool HttpOnly = false;
    // Seconds since the epoch; 0 for a cookie that lasts as long as the run.
    std::int64_t Expires = 0;
    std::string Name;
    std::string Value;

    bool ExpiredAt(std::int64_t now) const { return Expires != 0 && Expires <= now; }
};

// A line of a cookies file that was skipped, counted from 1, and why.
struct TCookieFileProblem
{
    int Line = 0;
    std::string Reason;
};

struct TCookieFileContents
{
    std::vector<TCookie> Cookies;
    std::vector<TCookieFileProblem> Problems;
};

// The cookies file browsers export and other download tools read: seven tab-separated fields a
// line (domain, include-subdomains, path, secure, expiry, name, value), "#HttpOnly_" before the
// domain of an HttpOnly cookie, "#" comments and blank lines. Expired cookies are left out
// without a word; a line that is not a cookie is reported by its number.
TCookieFileContents ParseCookieFile(std::string_view bytes);
// The same format, with a comment heading it.
std::string CookieFileText(const std::vector<TCookie>& cookies);

// A Set-Cookie header's value as the answer to a request for host and path gives it, or nothing
// when it is to be ignored (no name and value, a Domain this host is not in, a Secure cookie over
// http, too large). A cookie whose Max-Age or Expires is past comes back expired: it removes the
// one it names.
std::optional<TCookie> ParseSetCookie(std::string_view header, std::string_view host,
                                      std::string_view requestPath, bool https, std::int64_t now);
// A cookie date ("Wed, 09 Jun 2021 10:18:14 GMT" and its older forms) as seconds since the epoch.
std::optional<std::int64_t> ParseCookieDate(std::string_view text);
// Whether a request to host may carry a cookie of domain: the same name, or a name ending in
// "." + domain when host is no IP address.
bool DomainMatches(std::string_view host, std::string_view domain);
// Whether a request for path (without its query) may carry a cookie of cookiePath.
bool PathMatches(std::string_view path, std::string_view cookiePath);

// The cookies of a run: the ones read from a cookies file and the ones servers set meanwhile,
// sent only where they belong. What a hostile server can make it hold is bounded.
class TCookieJar
{
  public:
    // Name and value together; a larger cookie is ignored.
    static constexpr std::size_t MaxCookieBytes = 4096;
    static constexpr std::size_t MaxPerDomain = 180;
    static constexpr std::size_t MaxCookies = 3000;

    // Adds or replaces the cookie of the same domain, path and name; an expired one removes it.
    // When a domain or the jar is full, its oldest cookie makes room.
    void Add(TCookie cookie, std::int64_t now);
    // What a server's answer to a request for host and path said in its Set-Cookie lines.
    void TakeSetCookie(std::string_view header, std::string_view host, std::string_view requestPath,
                       bool https, std::int64_t now);
    // The Cookie header's value for a request (path with or without its query), or empty:
    // longer paths first, then older cookies.
    std::string CookieHeader(std::string_view host, std::string_view requestPath, bool https,
                             std::int64_t now) const;
    // Every cookie not expired at now, in the order they were set.
    std::vector<TCookie> Cookies(std::int64_t now) const;
    std::size_t Count() const { return count; }

  private:
    struct TEntry
    {
        TCookie cookie;
        std::uint64_t order = 0;
    };
    void RemoveOldest(std::vector<TEntry>* within);

    // By domain, so that a request looks only at its host and the domains above it.
    std::unordered_map<std::string, std::vector<TEntry>> byDomain;
    std::size_t count = 0;
    std::uint64_t nextOrder = 0;
};
