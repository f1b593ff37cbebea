#include "links/urlresolution.h"

#include <array>
#include <vector>

#include "platform/bytetext.h"

namespace
{
constexpr std::size_t npos = std::string_view::npos;

// The end of the part of an address that can hold a scheme or credentials: the first "/"
// or "?" after the scheme. Searching only there keeps a "://" or "@" inside a query from
// being taken for a scheme or a user part.
std::size_t AuthorityEnd(std::string_view text)
{
    const std::size_t end = bytetext::FindAny(text, "/?");
    return end == npos ? text.size() : end;
}

// Turns each of : < > , * ? (and "/" unless the folders keep it), and every control byte (below
// 0x20, and 0x7F), into "-": a name on disk must not carry an escape sequence to whoever lists it.
std::string MadeSafe(std::string text, bool keepSlashes)
{
    static const auto unsafe = []
    {
        std::array<bool, 256> table{};
        for (int c = 0; c < 0x20; ++c)
            table[c] = true;
        for (unsigned char c : std::string_view("/:<>,*?\x7F"))
            table[c] = true;
        return table;
    }();
    for (char& c : text)
        if (unsafe[static_cast<unsigned char>(c)] && !(keepSlashes && c == '/'))
            c = '-';
    return text;
}

// Keeps the folders of a relative directory inside the directory it is relative to.
std::string ConfineDirectory(std::string directory)
{
    // Most folders hold no dot and are already confined.
    if (directory.find('.') == npos && (directory.empty() || directory.front() != '/'))
        return directory;
    std::vector<std::string_view> folders;
    std::size_t start = 0;
    while (start < directory.size())
    {
        std::size_t end = directory.find('/', start);
        if (end == npos)
            end = directory.size();
        const std::string_view folder = std::string_view(directory).substr(start, end - start);
        if (folder == "..")
        {
            if (!folders.empty())
                folders.pop_back();
        }
        else if (!folder.empty() && folder != ".")
            folders.push_back(folder);
        start = end + 1;
    }
    std::string result;
    for (std::string_view folder : folders)
    {
        result += folder;
        result += '/';
    }
    return result;
}

// An absolute web address, which is named after the whole of it.
bool StartsWithHttp(std::string_view entry)
{
    return bytetext::StartsWithNoCase(entry, "HTTP://") || bytetext::StartsWithNoCase(entry, "HTTPS://");
}

// Whether an address starts with a scheme, as SplitURL finds one.
bool HasScheme(std::string_view address)
{
    const std::size_t schemeEnd = address.find("://");
    return schemeEnd != npos && bytetext::FindAny(address.substr(0, schemeEnd), "/?") == npos;
}

// A blank cannot stand on a request line.
void EncodeBlanks(std::string& address)
{
    std::string result;
    result.reserve(address.size() + 16);
    for (char c : address)
        if (c == ' ')
            result += "%20";
        else
            result += c;
    address = std::move(result);
}

// A path with its "." and ".." segments resolved; ".." never climbs above the root.
std::string WithoutDotSegments(std::string_view path)
{
    std::vector<std::string_view> segments;
    std::size_t start = 1;
    for (;;)
    {
        const std::size_t end = path.find('/', start);
        const std::string_view segment = path.substr(start, end == npos ? npos : end - start);
        const bool last = end == npos;
        if (segment == "." || segment == "..")
        {
            if (segment == ".." && !segments.empty())
                segments.pop_back();
            if (last)
                segments.push_back({});
        }
        else
            segments.push_back(segment);
        if (last)
            break;
        start = end + 1;
    }
    std::string result;
    for (std::string_view segment : segments)
    {
        result += '/';
        result += segment;
    }
    return result;
}

// The parts of an absolute address that say where it leads, as views into it; false for an
// address without a scheme.
bool PlaceParts(std::string_view address, std::string_view& scheme, std::string_view& host,
                std::string_view& port, std::string_view& path)
{
    const std::size_t schemeEnd = address.find("://");
    if (schemeEnd == npos || schemeEnd == 0 || bytetext::FindAny(address.substr(0, schemeEnd), "/?#") != npos)
        return false;
    scheme = address.substr(0, schemeEnd);
    const std::string_view rest = address.substr(schemeEnd + 3);
    const std::size_t authorityEnd = std::min(bytetext::FindAny(rest, "/?#"), rest.size());
    std::string_view authority = rest.substr(0, authorityEnd);
    if (const std::size_t at = authority.rfind('@'); at != npos)
        authority.remove_prefix(at + 1);
    host = authority;
    port = {};
    if (const std::size_t colon = authority.rfind(':'); colon != npos && authority.find(']', colon) == npos)
    {
        host = authority.substr(0, colon);
        port = bytetext::Trim(authority.substr(colon + 1));
    }
    if (port.empty())
        port = bytetext::EqualsNoCase(scheme, "HTTPS")  ? "443"
               : bytetext::EqualsNoCase(scheme, "HTTP") ? "80"
               : bytetext::EqualsNoCase(scheme, "FTP")  ? "21"
                                                        : "";
    path = rest.substr(authorityEnd);
    path = path.substr(0, bytetext::FindAny(path, "?#"));
    return true;
}

// A path as it compares: "/" when empty, blanks as "%20", "." and ".." segments resolved.
bool PathNeedsNormalForm(std::string_view path)
{
    if (path.empty())
        return true;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (path[i] == ' ' || (path[i] == '.' && i > 0 && path[i - 1] == '/'))
            return true;
    return false;
}

std::string NormalPath(std::string_view path)
{
    if (path.empty())
        return "/";
    std::string encoded(path);
    EncodeBlanks(encoded);
    return WithoutDotSegments(encoded);
}
} // namespace

TURLParts SplitURL(std::string_view address)
{
    TURLParts parts;
    std::string_view rest = address;

    const std::size_t schemeEnd = rest.find("://");
    if (schemeEnd != npos && bytetext::FindAny(rest.substr(0, schemeEnd), "/?") == npos)
    {
        parts.Scheme = rest.substr(0, schemeEnd + 3);
        rest.remove_prefix(schemeEnd + 3);
    }

    const std::size_t at = rest.substr(0, AuthorityEnd(rest)).rfind('@');
    if (at != npos)
    {
        const std::string_view userPart = rest.substr(0, at);
        const std::size_t colon = userPart.find(':');
        parts.User = userPart.substr(0, colon);
        if (colon != npos)
            parts.Password = userPart.substr(colon + 1);
        rest.remove_prefix(at + 1);
    }

    const std::size_t slash = rest.find('/');
    const std::string_view hostText = rest.substr(0, slash);
    rest = slash == npos ? std::string_view() : rest.substr(slash);

    // The colons of an IPv6 literal lie inside its brackets; the port comes after them.
    const std::size_t close = hostText.starts_with('[') ? hostText.find(']') : npos;
    const std::size_t colon = hostText.find(':', close == npos ? 0 : close);
    parts.Host = hostText.substr(0, colon);
    if (colon != npos)
        parts.Port = bytetext::Trim(hostText.substr(colon + 1));

    if (rest.find('.') != npos)
    {
        const std::size_t last = rest.rfind('/');
        parts.Directory = rest.substr(0, last + 1);
        parts.FileName = rest.substr(last + 1);
    }
    else
        parts.Directory = rest;
    return parts;
}

std::string StripCredentials(std::string_view address)
{
    const TURLParts parts = SplitURL(address);
    std::string result = parts.Scheme.empty() ? "http://" : parts.Scheme;
    result += parts.Host;
    if (!parts.Port.empty())
        result += ":" + parts.Port;
    return result + parts.Directory + parts.FileName;
}

std::string MaskPassword(std::string_view address)
{
    std::size_t start = 0;
    const std::size_t schemeEnd = address.find("://");
    if (schemeEnd != npos && bytetext::FindAny(address.substr(0, schemeEnd), "/?") == npos)
        start = schemeEnd + 3;
    const std::string_view rest = address.substr(start);
    const std::size_t at = rest.substr(0, AuthorityEnd(rest)).rfind('@');
    const std::size_t colon = at == npos ? npos : rest.substr(0, at).find(':');
    if (colon == npos || colon + 1 == at)
        return std::string(address);
    return std::string(address.substr(0, start + colon + 1)) + "****" +
           std::string(address.substr(start + at));
}

std::string ResolveLink(std::string_view pageAddress, std::string_view entry)
{
    return ResolveLink(SplitURL(pageAddress), entry);
}

std::string ResolveLink(const TURLParts& page, std::string_view entry)
{
    std::string result;
    ResolveLink(page, entry, result);
    return result;
}

void ResolveLink(const TURLParts& page, std::string_view entry, std::string& result)
{
    const std::string_view link = bytetext::BeforeArrow(entry);
    result.clear();
    if (link.starts_with("//"))
    {
        result += page.Scheme.empty() ? std::string_view("http://") : std::string_view(page.Scheme);
        result.pop_back();
        result.pop_back();
        result += link;
    }
    else if (HasScheme(link))
        result += link;
    else
    {
        if (page.Scheme.empty())
            result += "http://";
        result += page.Scheme;
        result += page.Host;
        if (!page.Port.empty())
        {
            result += ':';
            result += page.Port;
        }
        if (link.empty() || link.front() != '/')
        {
            result += page.Directory;
            if (page.Directory.empty() || page.Directory.back() != '/')
                result += '/';
        }
        result += link;
    }
    if (result.find(' ') != npos && StartsWithHttp(result))
        EncodeBlanks(result);
}

TPlace PlaceOf(std::string_view address)
{
    TPlace place;
    std::string_view scheme, host, port, path;
    if (!PlaceParts(address, scheme, host, port, path))
        return place;
    place.Scheme = bytetext::UpperCase(scheme);
    place.Host = bytetext::UpperCase(host);
    place.Port = port;
    place.Path = NormalPath(path);
    return place;
}

bool LeadsBackTo(const TPlace& page, std::string_view address)
{
    std::string_view scheme, host, port, path;
    if (page.Scheme.empty() || !PlaceParts(address, scheme, host, port, path) ||
        !bytetext::EqualsNoCase(scheme, page.Scheme) || !bytetext::EqualsNoCase(host, page.Host) ||
        port != page.Port)
        return false;
    std::string normal;
    if (PathNeedsNormalForm(path))
    {
        normal = NormalPath(path);
        path = normal;
    }
    if (path == page.Path)
        return true;
    // A folder holding the page, written with or without its final "/".
    const std::string_view pagePath = page.Path;
    return pagePath.starts_with(path) &&
           (path.back() == '/' || (pagePath.size() > path.size() && pagePath[path.size()] == '/'));
}

bool LeadsBackTo(std::string_view pageAddress, std::string_view address)
{
    return LeadsBackTo(PlaceOf(pageAddress), address);
}

std::string LinkFileName(std::string_view entry)
{
    std::string_view name = entry;
    if (!StartsWithHttp(entry))
    {
        const std::size_t slash = entry.rfind('/');
        if (slash != npos)
            name = entry.substr(slash + 1);
    }
    return SafeFileName(std::string(name));
}

std::string LinkDirectory(std::string_view entry)
{
    const std::size_t slash = entry.rfind('/');
    if (slash == npos || StartsWithHttp(entry))
        return {};
    std::string_view directory = entry.substr(0, slash + 1);
    if (directory.front() == '/')
        directory.remove_prefix(1);
    // The folders keep their "/" between them; only the other unsafe characters change.
    return ConfineDirectory(MadeSafe(SlashesToBackslashes(directory), true));
}

std::string SafeFileName(std::string text)
{
    return MadeSafe(std::move(text), false);
}

std::string SlashesToBackslashes(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text)
        if (c != '/' || result.empty() || result.back() != '/')
            result += c;
    return result;
}
