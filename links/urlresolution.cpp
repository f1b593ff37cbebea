#include "links/urlresolution.h"

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
    const std::size_t end = text.find_first_of("/?");
    return end == npos ? text.size() : end;
}

// Turns the characters named, and every control byte (below 0x20, and 0x7F), into by: a name on
// disk must not carry an escape sequence to whoever lists it.
std::string ReplaceAll(std::string text, std::string_view characters, char by)
{
    for (char& c : text)
        if (characters.find(c) != npos || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = by;
    return text;
}

// Keeps the folders of a relative directory inside the directory it is relative to.
std::string ConfineDirectory(std::string_view directory)
{
    std::vector<std::string_view> folders;
    std::size_t start = 0;
    while (start < directory.size())
    {
        std::size_t end = directory.find('/', start);
        if (end == npos)
            end = directory.size();
        const std::string_view folder = directory.substr(start, end - start);
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
} // namespace

TURLParts SplitURL(std::string_view address)
{
    TURLParts parts;
    std::string_view rest = address;

    const std::size_t schemeEnd = rest.find("://");
    if (schemeEnd != npos && rest.substr(0, schemeEnd).find_first_of("/?") == npos)
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
    if (schemeEnd != npos && address.substr(0, schemeEnd).find_first_of("/?") == npos)
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
    const std::string_view link = bytetext::BeforeArrow(entry);
    if (!SplitURL(link).Scheme.empty())
        return std::string(link);

    std::string result = page.Scheme + page.Host;
    if (!page.Port.empty())
        result += ":" + page.Port;
    if (!link.empty() && link.front() == '/')
        result += link;
    else if (!page.Directory.empty() && page.Directory.back() == '/')
        result += page.Directory + std::string(link);
    else
        result += page.Directory + "/" + std::string(link);
    if (page.Scheme.empty())
        result.insert(0, "http://");
    return result;
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
    return ConfineDirectory(ReplaceAll(SlashesToBackslashes(directory), ":<>,*?", '-'));
}

std::string SafeFileName(std::string text)
{
    return ReplaceAll(std::move(text), "/:<>,*?", '-');
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
