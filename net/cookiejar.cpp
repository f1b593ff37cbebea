#include "net/cookiejar.h"

#include <algorithm>
#include <limits>

#include "platform/bytetext.h"

namespace
{
constexpr std::int64_t Forever = std::numeric_limits<std::int64_t>::max();
// An expiry in the past that is not 0, which means "for the run".
constexpr std::int64_t LongAgo = 1;

std::string LowerCase(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// A control byte in a cookie would end the Cookie line, and the request would be refused; a tab
// would split the cookies file's fields.
bool HasForbiddenByte(std::string_view text)
{
    return bytetext::HasControlByte(text);
}

bool IsIpAddress(std::string_view host)
{
    if (host.find(':') != std::string_view::npos)
        return true;
    return !host.empty() &&
           std::all_of(host.begin(), host.end(), [](char c) { return bytetext::IsDigit(c) || c == '.'; });
}

// A host as cookies name it: lower case, an IPv6 address without its brackets.
std::string CanonicalHost(std::string_view host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return LowerCase(host);
}

std::string_view PathOnly(std::string_view requestPath)
{
    requestPath = requestPath.substr(0, requestPath.find_first_of("?#"));
    return requestPath.empty() ? std::string_view("/") : requestPath;
}

// The folder of the request's path: where a cookie without a Path applies.
std::string DefaultPath(std::string_view requestPath)
{
    const std::string_view path = PathOnly(requestPath);
    if (path.front() != '/')
        return "/";
    const std::size_t last = path.rfind('/');
    return last == 0 ? "/" : std::string(path.substr(0, last));
}

std::vector<std::string_view> SplitOn(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;)
    {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

std::optional<bool> Flag(std::string_view text)
{
    if (bytetext::EqualsNoCase(text, "TRUE"))
        return true;
    if (bytetext::EqualsNoCase(text, "FALSE"))
        return false;
    return std::nullopt;
}

// Digits, with a fraction some tools write after them; far futures are held at Forever.
std::optional<std::int64_t> Expiry(std::string_view text)
{
    const std::string_view whole = text.substr(0, text.find('.'));
    const std::string_view fraction =
        whole.size() < text.size() ? text.substr(whole.size() + 1) : std::string_view();
    const auto digits = [](std::string_view part)
    { return std::all_of(part.begin(), part.end(), bytetext::IsDigit); };
    if (whole.empty() || !digits(whole) || !digits(fraction))
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : whole)
    {
        if (value > (Forever - 9) / 10)
            return Forever;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string FileLineProblem(std::string_view line, TCookie& cookie)
{
    const std::vector<std::string_view> fields = SplitOn(line, '\t');
    if (fields.size() != 7)
        return "7 tab-separated fields expected, " + std::to_string(fields.size()) + " found";
    std::string_view domain = fields[0];
    if (!domain.empty() && domain.front() == '.')
        domain.remove_prefix(1);
    if (domain.empty() || domain.front() == '.' || domain.front() == '#' || HasForbiddenByte(domain) ||
        domain.find(' ') != std::string_view::npos)
        return "no domain name in the first field";
    const std::optional<bool> subdomains = Flag(fields[1]);
    if (!subdomains)
        return "the second field is neither TRUE nor FALSE";
    if (fields[2].empty() || fields[2].front() != '/' || HasForbiddenByte(fields[2]))
        return "the path does not start with /";
    const std::optional<bool> secure = Flag(fields[3]);
    if (!secure)
        return "the secure field is neither TRUE nor FALSE";
    const std::optional<std::int64_t> expires = Expiry(fields[4]);
    if (!expires)
        return "the expiry is not a number of seconds";
    const std::string_view name = fields[5];
    const std::string_view value = fields[6];
    if (name.empty() && value.empty())
        return "the cookie has neither name nor value";
    if (HasForbiddenByte(name) || HasForbiddenByte(value) ||
        name.find_first_of("=;") != std::string_view::npos || value.find(';') != std::string_view::npos)
        return "the name or value holds a byte a cookie may not";
    if (name.size() + value.size() > TCookieJar::MaxCookieBytes)
        return "the cookie is larger than " + std::to_string(TCookieJar::MaxCookieBytes) + " bytes";
    cookie.Domain = LowerCase(domain);
    cookie.IncludeSubdomains = *subdomains && !IsIpAddress(cookie.Domain);
    cookie.Path = std::string(fields[2]);
    cookie.Secure = *secure;
    cookie.Expires = *expires;
    cookie.Name = std::string(name);
    cookie.Value = std::string(value);
    return {};
}

// Cookie dates: the tokens between delimiters are read for a time, a day, a month and a year in
// whatever order they come.
bool IsDateDelimiter(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte == 0x09 || (byte >= 0x20 && byte <= 0x2F) || (byte >= 0x3B && byte <= 0x40) ||
           (byte >= 0x5B && byte <= 0x60) || (byte >= 0x7B && byte <= 0x7E);
}

// 1 to maxDigits digits at the start of text, followed by nothing or by a non-digit.
std::optional<int> LeadingNumber(std::string_view text, std::size_t minDigits, std::size_t maxDigits,
                                 std::size_t* used = nullptr)
{
    std::size_t count = 0;
    int value = 0;
    while (count < text.size() && bytetext::IsDigit(text[count]))
    {
        if (++count > maxDigits)
            return std::nullopt;
        value = value * 10 + (text[count - 1] - '0');
    }
    if (count < minDigits)
        return std::nullopt;
    if (used)
        *used = count;
    return value;
}

bool ParseTime(std::string_view token, int& hour, int& minute, int& second)
{
    std::size_t used = 0;
    const std::optional<int> h = LeadingNumber(token, 1, 2, &used);
    if (!h || used >= token.size() || token[used] != ':')
        return false;
    token.remove_prefix(used + 1);
    const std::optional<int> m = LeadingNumber(token, 1, 2, &used);
    if (!m || used >= token.size() || token[used] != ':')
        return false;
    token.remove_prefix(used + 1);
    const std::optional<int> s = LeadingNumber(token, 1, 2);
    if (!s)
        return false;
    hour = *h;
    minute = *m;
    second = *s;
    return true;
}

std::int64_t DaysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}
} // namespace

std::optional<std::int64_t> ParseCookieDate(std::string_view text)
{
    static constexpr std::string_view months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                  "jul", "aug", "sep", "oct", "nov", "dec"};
    std::optional<int> hour, minute, second, day, month, year;
    std::size_t at = 0;
    while (at < text.size())
    {
        while (at < text.size() && IsDateDelimiter(text[at]))
            ++at;
        std::size_t end = at;
        while (end < text.size() && !IsDateDelimiter(text[end]))
            ++end;
        const std::string_view token = text.substr(at, end - at);
        at = end;
        if (token.empty())
            continue;
        int h = 0, m = 0, s = 0;
        if (!hour && ParseTime(token, h, m, s))
        {
            hour = h;
            minute = m;
            second = s;
        }
        else if (const std::optional<int> number = LeadingNumber(token, 1, 2); !day && number)
            day = number;
        else if (!month && token.size() >= 3 &&
                 std::find(std::begin(months), std::end(months), LowerCase(token.substr(0, 3))) !=
                     std::end(months))
            month = static_cast<int>(
                        std::find(std::begin(months), std::end(months), LowerCase(token.substr(0, 3))) -
                        std::begin(months)) +
                    1;
        else if (const std::optional<int> number = LeadingNumber(token, 2, 4); !year && number)
            year = number;
    }
    if (!hour || !day || !month || !year)
        return std::nullopt;
    int y = *year;
    if (y >= 70 && y <= 99)
        y += 1900;
    else if (y >= 0 && y <= 69)
        y += 2000;
    if (y < 1601 || *hour > 23 || *minute > 59 || *second > 59 || *day < 1 || *day > DaysInMonth(y, *month))
        return std::nullopt;
    return DaysFromCivil(y, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
}

bool DomainMatches(std::string_view host, std::string_view domain)
{
    if (bytetext::EqualsNoCase(host, domain))
        return true;
    return !IsIpAddress(host) && host.size() > domain.size() + 1 && !domain.empty() &&
           bytetext::EndsWithNoCase(host, domain) && host[host.size() - domain.size() - 1] == '.';
}

bool PathMatches(std::string_view path, std::string_view cookiePath)
{
    if (path == cookiePath)
        return true;
    return path.starts_with(cookiePath) && (cookiePath.ends_with('/') || path[cookiePath.size()] == '/');
}

TCookieFileContents ParseCookieFile(std::string_view bytes)
{
    static constexpr std::string_view HttpOnlyPrefix = "#HttpOnly_";
    TCookieFileContents contents;
    int number = 0;
    for (std::string_view line : SplitOn(bytes, '\n'))
    {
        ++number;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        bool httpOnly = false;
        if (line.starts_with(HttpOnlyPrefix))
        {
            httpOnly = true;
            line.remove_prefix(HttpOnlyPrefix.size());
        }
        else if (bytetext::Trim(line).empty() || line.starts_with('#'))
            continue;
        TCookie cookie;
        std::string problem = FileLineProblem(line, cookie);
        if (!problem.empty())
        {
            contents.Problems.push_back({number, std::move(problem)});
            continue;
        }
        cookie.HttpOnly = httpOnly;
        contents.Cookies.push_back(std::move(cookie));
    }
    return contents;
}

std::string CookieFileText(const std::vector<TCookie>& cookies)
{
    std::string text = "# Netscape HTTP Cookie File\n# Written by Kestrow.\n\n";
    for (const TCookie& cookie : cookies)
    {
        if (cookie.HttpOnly)
            text += "#HttpOnly_";
        if (cookie.IncludeSubdomains)
            text += '.';
        text += cookie.Domain;
        text += cookie.IncludeSubdomains ? "\tTRUE\t" : "\tFALSE\t";
        text += cookie.Path;
        text += cookie.Secure ? "\tTRUE\t" : "\tFALSE\t";
        text += std::to_string(cookie.Expires) + "\t" + cookie.Name + "\t" + cookie.Value + "\n";
    }
    return text;
}

std::optional<TCookie> ParseSetCookie(std::string_view header, std::string_view host,
                                      std::string_view requestPath, bool https, std::int64_t now)
{
    const std::vector<std::string_view> parts = SplitOn(header, ';');
    const std::string_view pair = parts.front();
    TCookie cookie;
    // A pair without "=" is a value without a name, as browsers take it.
    if (const std::size_t equals = pair.find('='); equals != std::string_view::npos)
    {
        cookie.Name = std::string(bytetext::Trim(pair.substr(0, equals)));
        cookie.Value = std::string(bytetext::Trim(pair.substr(equals + 1)));
    }
    else
        cookie.Value = std::string(bytetext::Trim(pair));
    if ((cookie.Name.empty() && cookie.Value.empty()) || HasForbiddenByte(cookie.Name) ||
        HasForbiddenByte(cookie.Value) ||
        cookie.Name.size() + cookie.Value.size() > TCookieJar::MaxCookieBytes)
        return std::nullopt;

    std::optional<std::int64_t> maxAge, expires;
    std::string domain;
    cookie.Path = DefaultPath(requestPath);
    for (std::size_t i = 1; i < parts.size(); ++i)
    {
        const std::string_view attribute = parts[i];
        const std::size_t equals = attribute.find('=');
        const std::string name = LowerCase(bytetext::Trim(attribute.substr(0, equals)));
        const std::string_view value = equals == std::string_view::npos
                                           ? std::string_view()
                                           : bytetext::Trim(attribute.substr(equals + 1));
        if (name == "max-age")
        {
            const bool negative = value.starts_with('-');
            const std::string_view digits = negative ? value.substr(1) : value;
            if (digits.empty() || !std::all_of(digits.begin(), digits.end(), bytetext::IsDigit))
                continue;
            const std::optional<std::int64_t> seconds = Expiry(digits);
            if (negative || *seconds == 0)
                maxAge = LongAgo;
            else
                maxAge = *seconds > Forever - now ? Forever : now + *seconds;
        }
        else if (name == "expires")
        {
            if (const std::optional<std::int64_t> date = ParseCookieDate(value))
                expires = std::max(*date, LongAgo);
        }
        else if (name == "domain")
        {
            std::string_view stated = value;
            if (stated.starts_with('.'))
                stated.remove_prefix(1);
            if (!stated.empty())
                domain = LowerCase(stated);
        }
        else if (name == "path")
        {
            if (value.starts_with('/') && !HasForbiddenByte(value))
                cookie.Path = std::string(value);
        }
        else if (name == "secure")
            cookie.Secure = true;
        else if (name == "httponly")
            cookie.HttpOnly = true;
    }
    // A plain http answer may not set what only https may read.
    if (cookie.Secure && !https)
        return std::nullopt;
    cookie.Expires = maxAge ? *maxAge : expires.value_or(0);

    const std::string canonical = CanonicalHost(host);
    if (domain.empty() || domain == canonical)
    {
        cookie.Domain = canonical;
        cookie.IncludeSubdomains =
            !domain.empty() && !IsIpAddress(canonical) && domain.find('.') != std::string::npos;
    }
    // A domain the host is not in, or a top-level one, would reach servers that never set it.
    else if (!DomainMatches(canonical, domain) || domain.find('.') == std::string::npos)
        return std::nullopt;
    else
    {
        cookie.Domain = domain;
        cookie.IncludeSubdomains = true;
    }
    return cookie;
}

void TCookieJar::Add(TCookie cookie, std::int64_t now)
{
    if (cookie.Domain.empty() || cookie.Name.size() + cookie.Value.size() > MaxCookieBytes)
        return;
    if (const auto domain = byDomain.find(cookie.Domain); domain != byDomain.end())
    {
        std::vector<TEntry>& entries = domain->second;
        const auto same =
            std::find_if(entries.begin(), entries.end(),
                         [&](const TEntry& entry)
                         { return entry.cookie.Path == cookie.Path && entry.cookie.Name == cookie.Name; });
        if (same != entries.end())
        {
            if (cookie.ExpiredAt(now))
            {
                entries.erase(same);
                --count;
                if (entries.empty())
                    byDomain.erase(domain);
            }
            else
                same->cookie = std::move(cookie);
            return;
        }
    }
    if (cookie.ExpiredAt(now))
        return;
    if (count >= MaxCookies)
    {
        // Cookies past their time go first; then the one set longest ago.
        for (auto domain = byDomain.begin(); domain != byDomain.end();)
        {
            count -= std::erase_if(domain->second,
                                   [now](const TEntry& entry) { return entry.cookie.ExpiredAt(now); });
            domain = domain->second.empty() ? byDomain.erase(domain) : std::next(domain);
        }
        if (count >= MaxCookies)
            RemoveOldest(nullptr);
    }
    std::vector<TEntry>& entries = byDomain[cookie.Domain];
    if (entries.size() >= MaxPerDomain)
    {
        count -= std::erase_if(entries, [now](const TEntry& entry) { return entry.cookie.ExpiredAt(now); });
        if (entries.size() >= MaxPerDomain)
            RemoveOldest(&entries);
    }
    entries.push_back({std::move(cookie), nextOrder++});
    ++count;
}

void TCookieJar::RemoveOldest(std::vector<TEntry>* within)
{
    const auto older = [](const TEntry& a, const TEntry& b) { return a.order < b.order; };
    if (within)
    {
        if (!within->empty())
        {
            within->erase(std::min_element(within->begin(), within->end(), older));
            --count;
        }
        return;
    }
    auto oldestDomain = byDomain.end();
    std::uint64_t oldest = std::numeric_limits<std::uint64_t>::max();
    for (auto domain = byDomain.begin(); domain != byDomain.end(); ++domain)
        for (const TEntry& entry : domain->second)
            if (entry.order < oldest)
            {
                oldest = entry.order;
                oldestDomain = domain;
            }
    if (oldestDomain == byDomain.end())
        return;
    std::vector<TEntry>& entries = oldestDomain->second;
    entries.erase(std::min_element(entries.begin(), entries.end(), older));
    --count;
    if (entries.empty())
        byDomain.erase(oldestDomain);
}

void TCookieJar::TakeSetCookie(std::string_view header, std::string_view host, std::string_view requestPath,
                               bool https, std::int64_t now)
{
    if (std::optional<TCookie> cookie = ParseSetCookie(header, host, requestPath, https, now))
        Add(std::move(*cookie), now);
}

std::string TCookieJar::CookieHeader(std::string_view host, std::string_view requestPath, bool https,
                                     std::int64_t now) const
{
    if (byDomain.empty())
        return {};
    const std::string canonical = CanonicalHost(host);
    const std::string_view path = PathOnly(requestPath);
    std::vector<const TEntry*> chosen;
    // The host itself, then each domain above it; an address has none above it.
    std::string_view domain = canonical;
    for (;;)
    {
        if (const auto found = byDomain.find(std::string(domain)); found != byDomain.end())
            for (const TEntry& entry : found->second)
            {
                const TCookie& cookie = entry.cookie;
                if (cookie.ExpiredAt(now) || (cookie.Secure && !https) ||
                    (!cookie.IncludeSubdomains && domain.size() != canonical.size()) ||
                    !PathMatches(path, cookie.Path))
                    continue;
                chosen.push_back(&entry);
            }
        const std::size_t dot = domain.find('.');
        if (dot == std::string_view::npos || IsIpAddress(canonical))
            break;
        domain.remove_prefix(dot + 1);
    }
    std::sort(chosen.begin(), chosen.end(),
              [](const TEntry* a, const TEntry* b)
              {
                  if (a->cookie.Path.size() != b->cookie.Path.size())
                      return a->cookie.Path.size() > b->cookie.Path.size();
                  return a->order < b->order;
              });
    std::string header;
    for (const TEntry* entry : chosen)
    {
        if (!header.empty())
            header += "; ";
        if (!entry->cookie.Name.empty())
            header += entry->cookie.Name + "=";
        header += entry->cookie.Value;
    }
    return header;
}

std::vector<TCookie> TCookieJar::Cookies(std::int64_t now) const
{
    std::vector<const TEntry*> kept;
    for (const auto& [domain, entries] : byDomain)
        for (const TEntry& entry : entries)
            if (!entry.cookie.ExpiredAt(now))
                kept.push_back(&entry);
    std::sort(kept.begin(), kept.end(), [](const TEntry* a, const TEntry* b) { return a->order < b->order; });
    std::vector<TCookie> cookies;
    cookies.reserve(kept.size());
    for (const TEntry* entry : kept)
        cookies.push_back(entry->cookie);
    return cookies;
}
