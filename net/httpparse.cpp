#include "net/httpparse.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <vector>

#include "net/port.h"
#include "net/stringfields.h"
#include "platform/bytetext.h"
#include "platform/exception.h"

namespace httpparse
{
namespace
{
// A port in a URL: a text that is no number fails as the integer conversion did, a number
// outside 1..65535 as an invalid port, before anything is sent.
int PortOfURL(std::string_view text)
{
    int value = 0;
    if (!ParseInteger(text, value))
        throw Exception("'" + std::string(text) + "' is not a valid integer value");
    return ParsePort(text);
}

// 1-based position to 0-based offset, clamped to the text.
std::size_t Offset(std::string_view text, int position)
{
    return std::min<std::size_t>(static_cast<std::size_t>(position - 1), text.size());
}

// A request line carries printable ASCII only: a blank would end the target, and a byte of
// another code page is no character of a URL. Each goes as %XX; the rest stays as it is.
std::string EncodedTarget(std::string_view path)
{
    return bytetext::HexEscaped(
        path, [](unsigned char byte) { return byte == ' ' || byte >= 0x80; }, "%", true);
}
} // namespace

bool ParseInteger(std::string_view text, int& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    if (first == last)
        return false;
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last;
}

TRequestTarget ParseRequestURL(std::string_view url, std::string_view host, int port)
{
    if (url.empty())
        throw Exception("Empty URL");
    if (bytetext::HasControlByte(url))
        throw Exception("Invalid URL");
    TRequestTarget target{std::string(url), std::string(), std::string(host), port == 0 ? 80 : port};

    const bool hasDoubleSlash = url.find("//") != std::string_view::npos;
    if (hasDoubleSlash)
        target.requestPath = url.substr(Offset(url, NthCharPos(url, '/', 3)));
    else if (const std::size_t slash = url.find('/'); slash != std::string_view::npos)
        target.requestPath = url.substr(slash);

    if (const std::size_t colon = url.find(':'); colon != std::string_view::npos)
    {
        const std::string scheme = bytetext::UpperCase(url.substr(0, colon));
        target.port = scheme == "GOPHER" ? 70 : scheme == "FTP" ? 21 : scheme == "HTTPS" ? 443 : 80;
    }

    std::string_view hostPart;
    if (hasDoubleSlash)
    {
        const std::size_t second = Offset(url, NthCharPos(url, '/', 2));
        const std::size_t third = Offset(url, NthCharPos(url, '/', 3));
        if (second < url.size())
            hostPart = url.substr(second + 1, third > second ? third - second - 1 : 0);
    }
    else if (!url.empty() && url.front() != '/')
        hostPart = url.substr(0, url.find('/'));
    std::string_view portText;
    bool hasPort = false;
    SplitHostPort(hostPart, hostPart, portText, hasPort);
    if (hasPort)
        target.port = PortOfURL(NthField(portText, ':', 1));
    if (!hostPart.empty())
        target.host = hostPart;

    if (target.requestPath.empty())
    {
        target.requestPath = "/";
        target.url += "/";
    }
    // The path ends the URL; the proxy's form of the request line carries it too.
    if (const std::string encoded = EncodedTarget(target.requestPath); encoded != target.requestPath)
    {
        if (target.url.ends_with(target.requestPath))
            target.url = target.url.substr(0, target.url.size() - target.requestPath.size()) + encoded;
        target.requestPath = encoded;
    }
    return target;
}

bool UsesTls(std::string_view url, bool previous)
{
    if (!url.empty() && url.front() == '/')
        return previous;
    return bytetext::StartsWithNoCase(url, "https://");
}

std::string ResolveLocation(std::string_view base, std::string_view location)
{
    const std::size_t schemeEnd = base.find("://");
    if (location.find("://") != std::string_view::npos || schemeEnd == std::string_view::npos ||
        location.empty())
        return std::string(location);
    if (location.starts_with("//"))
        return std::string(base.substr(0, schemeEnd + 1)) + std::string(location);
    const std::size_t pathStart = base.find('/', schemeEnd + 3);
    const std::string_view origin = base.substr(0, pathStart);
    if (location.front() == '/')
        return std::string(origin) + std::string(location);
    std::string_view path = pathStart == std::string_view::npos ? "/" : base.substr(pathStart);
    path = path.substr(0, path.find_first_of("?#"));
    return std::string(origin) + std::string(path.substr(0, path.rfind('/') + 1)) + std::string(location);
}

std::int16_t StatusCode(std::string_view line)
{
    int value = 0;
    if (!ParseInteger(NthField(bytetext::WithoutOneLineEnd(line), ' ', 2), value) || value < 100 ||
        value > 599)
        return 0;
    return static_cast<std::int16_t>(value);
}

std::string StatusLineText(std::string_view line)
{
    std::string text(bytetext::WithoutOneLineEnd(line).substr(0, 160));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

bool HasBody(int code, bool head)
{
    return !head && code >= 200 && code != 204 && code != 304;
}

bool IsRedirect(int code)
{
    return code >= 300 && code <= 399 && code != 304;
}

std::string HostField(std::string_view host, int port, bool tls)
{
    if (port == 0 || port == (tls ? 443 : 80))
        return std::string(host);
    return std::string(host) + ":" + std::to_string(port);
}

std::string_view HostWithoutBrackets(std::string_view host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

void SplitHostPort(std::string_view text, std::string_view& host, std::string_view& port, bool& hasPort)
{
    // The colons inside an IPv6 literal's brackets are part of the host.
    const std::size_t close = text.starts_with('[') ? text.find(']') : std::string_view::npos;
    const std::size_t colon = text.find(':', close == std::string_view::npos ? 0 : close);
    hasPort = colon != std::string_view::npos;
    host = text.substr(0, colon);
    port = hasPort ? text.substr(colon + 1) : std::string_view();
}

std::string HeaderKeyword(std::string_view line)
{
    return bytetext::UpperCase(NthField(line, ' ', 1));
}

std::string HeaderValueFrom(std::string_view line, std::size_t position)
{
    line = bytetext::WithoutOneLineEnd(line);
    return position >= 1 && position <= line.size() ? std::string(line.substr(position - 1)) : std::string();
}

std::string ConnectionTokens(std::string_view line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return {};
    const std::string name = bytetext::UpperCase(bytetext::Trim(line.substr(0, colon)));
    if (name != "CONNECTION" && name != "PROXY-CONNECTION")
        return {};
    std::string tokens;
    std::string_view rest = bytetext::WithoutOneLineEnd(line.substr(colon + 1));
    while (!rest.empty())
    {
        const std::size_t comma = rest.find(',');
        const std::string_view token = bytetext::Trim(rest.substr(0, comma));
        if (!token.empty())
            tokens += bytetext::UpperCase(token) + ",";
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return tokens;
}

bool KeepsConnection(std::string_view statusLine, std::string_view connectionTokens)
{
    const auto names = [&](std::string_view token)
    {
        for (std::size_t at = connectionTokens.find(token); at != std::string_view::npos;
             at = connectionTokens.find(token, at + 1))
            if ((at == 0 || connectionTokens[at - 1] == ',') && at + token.size() < connectionTokens.size() &&
                connectionTokens[at + token.size()] == ',')
                return true;
        return false;
    };
    if (statusLine.starts_with("HTTP/1.1 "))
        return !names("CLOSE");
    if (statusLine.starts_with("HTTP/1.0 "))
        return names("KEEP-ALIVE") && !names("CLOSE");
    return false;
}

std::optional<std::int64_t> ContentLength(std::string_view line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view value = bytetext::Trim(line.substr(colon + 1));
    if (value.empty() || !std::all_of(value.begin(), value.end(), bytetext::IsDigit))
        return std::nullopt;
    std::int64_t length = 0;
    const auto [last, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (error != std::errc() || last != value.data() + value.size())
        return std::nullopt;
    return length;
}

void ContentRange(std::string_view line, std::int64_t& start, std::int64_t& total)
{
    const TContentRange range = ParseContentRange(line);
    start = range.First;
    total = range.First < 0 ? -1 : range.Total;
}

TContentRange ParseContentRange(std::string_view line)
{
    TContentRange range;
    const auto number = [](std::string_view text)
    {
        std::int64_t value = -1;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return !text.empty() && error == std::errc() && end == text.data() + text.size() && value >= 0 ? value
                                                                                                       : -1;
    };
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return range;
    std::string_view value = bytetext::Trim(line.substr(colon + 1));
    if (!bytetext::EqualsNoCase(value.substr(0, 6), "bytes "))
        return range;
    value = bytetext::Trim(value.substr(6));
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return range;
    const std::int64_t first = number(value.substr(0, dash));
    const std::int64_t last = number(value.substr(dash + 1, slash - dash - 1));
    if (first < 0 || last < first)
        return range;
    range.First = first;
    range.Last = last;
    range.Total = number(value.substr(slash + 1));
    return range;
}

std::string_view HeaderLineOf(std::string_view header, std::string_view keyword)
{
    std::string_view found;
    while (!header.empty())
    {
        const std::size_t end = header.find('\n');
        const std::string_view line = header.substr(0, end);
        if (HeaderKeyword(line) == keyword)
            found = bytetext::WithoutLineEnd(line);
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
    }
    return found;
}

std::string_view HeaderLineValue(std::string_view line)
{
    const std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : bytetext::Trim(line.substr(colon + 1));
}

std::optional<std::int64_t> HttpDate(std::string_view text)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0; start < text.size();)
    {
        const std::size_t end = std::min(text.find_first_of(" ,-", start), text.size());
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const auto month = [](std::string_view name)
    {
        static constexpr std::string_view Names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const auto found = std::find(std::begin(Names), std::end(Names), name);
        return found == std::end(Names) ? 0 : static_cast<int>(found - std::begin(Names)) + 1;
    };
    const auto number = [](std::string_view digits, std::size_t fewest, std::size_t most)
    {
        int value = -1;
        if (digits.size() >= fewest && digits.size() <= most &&
            std::all_of(digits.begin(), digits.end(), bytetext::IsDigit))
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return value;
    };
    int day = -1;
    int monthNumber = 0;
    int year = -1;
    std::string_view clock;
    if (parts.size() == 5 && month(parts[1]) > 0)
    {
        monthNumber = month(parts[1]);
        day = number(parts[2], 1, 2);
        clock = parts[3];
        year = number(parts[4], 4, 4);
    }
    else if (parts.size() == 6 && parts[5] == "GMT" && month(parts[2]) > 0)
    {
        day = number(parts[1], 2, 2);
        monthNumber = month(parts[2]);
        year = number(parts[3], 4, 4);
        // A year of two digits lies in the century that puts it nearest to now.
        if (const int shortYear = number(parts[3], 2, 2); shortYear >= 0)
            year = shortYear + (shortYear < 70 ? 2000 : 1900);
        clock = parts[4];
    }
    const int hour =
        clock.size() == 8 && clock[2] == ':' && clock[5] == ':' ? number(clock.substr(0, 2), 2, 2) : -1;
    const int minute = hour >= 0 ? number(clock.substr(3, 2), 2, 2) : -1;
    const int second = minute >= 0 ? number(clock.substr(6, 2), 2, 2) : -1;
    if (year < 0 || monthNumber == 0 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60)
        return std::nullopt;
    // Days since 1970-01-01 of the civil date (a year counted from March, so the leap day is last).
    const int shifted = monthNumber <= 2 ? year - 1 : year;
    const int era = shifted / 400;
    const int yearOfEra = shifted - era * 400;
    const int dayOfYear = (153 * (monthNumber + (monthNumber > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = std::int64_t{era} * 146097 + dayOfEra - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

bool IsChunkedEncoding(std::string_view line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string value = bytetext::UpperCase(bytetext::Trim(line.substr(colon + 1)));
    const std::size_t comma = value.rfind(',');
    return bytetext::Trim(comma == std::string::npos
                              ? std::string_view(value)
                              : std::string_view(value).substr(comma + 1)) == "CHUNKED";
}

bool IsHeaderEnd(std::string_view line)
{
    return line == "\n" || line == "\r\n";
}
} // namespace httpparse
