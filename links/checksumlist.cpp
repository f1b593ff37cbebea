#include "links/checksumlist.h"

#include <algorithm>
#include <array>

namespace
{
constexpr std::size_t npos = std::string_view::npos;

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool EndsWithNoCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && EqualNoCase(text.substr(text.size() - end.size()), end);
}

bool IsHex(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) {
                                            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                                                   (c >= 'A' && c <= 'F');
                                        });
}

std::string LowerHex(std::string_view hex)
{
    std::string result(hex);
    std::transform(result.begin(), result.end(), result.begin(), Lower);
    return result;
}

TChecksumKind KindOfLength(std::size_t digits)
{
    for (const TChecksumKind kind : {TChecksumKind::Md5, TChecksumKind::Sha256, TChecksumKind::Sha512})
        if (ChecksumHexDigits(kind) == digits)
            return kind;
    return TChecksumKind::None;
}

// The list's kind where the sum fits it, else the kind its length tells: a list misnamed or
// named for no kind still checks what it holds.
TChecksumKind KindOfSum(std::string_view hex, TChecksumKind listKind)
{
    if (!IsHex(hex))
        return TChecksumKind::None;
    if (listKind != TChecksumKind::None && ChecksumHexDigits(listKind) == hex.size())
        return listKind;
    return KindOfLength(hex.size());
}

std::string_view TrimSpace(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// "SHA256 (NAME) = HEX"
bool ParseBsdLine(std::string_view line, TChecksumEntry& entry)
{
    static constexpr std::array<std::pair<std::string_view, TChecksumKind>, 3> Names{{
        {"MD5", TChecksumKind::Md5},
        {"SHA256", TChecksumKind::Sha256},
        {"SHA512", TChecksumKind::Sha512},
    }};
    const std::size_t open = line.find(" (");
    const std::size_t close = line.rfind(") = ");
    if (open == npos || close == npos || close < open + 2)
        return false;
    const std::string_view algorithm = line.substr(0, open);
    const auto named = std::find_if(Names.begin(), Names.end(),
                                    [&](const auto& name) { return EqualNoCase(name.first, algorithm); });
    if (named == Names.end())
        return false;
    const std::string_view hex = TrimSpace(line.substr(close + 4));
    if (!IsHex(hex) || hex.size() != ChecksumHexDigits(named->second))
        return false;
    entry.Kind = named->second;
    entry.Name = std::string(line.substr(open + 2, close - open - 2));
    entry.Hex = LowerHex(hex);
    return true;
}

// "HEX  NAME", "HEX *NAME", and "\HEX  NAME" whose name has its backslashes and line ends escaped.
bool ParseGnuLine(std::string_view line, TChecksumKind listKind, TChecksumEntry& entry)
{
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped)
        line.remove_prefix(1);
    const std::size_t space = line.find(' ');
    if (space == npos || space + 2 > line.size() || (line[space + 1] != ' ' && line[space + 1] != '*'))
        return false;
    const std::string_view hex = line.substr(0, space);
    entry.Kind = KindOfSum(hex, listKind);
    if (entry.Kind == TChecksumKind::None)
        return false;
    const std::string_view name = line.substr(space + 2);
    entry.Name.clear();
    for (std::size_t i = 0; i < name.size(); ++i)
    {
        if (escaped && name[i] == '\\' && i + 1 < name.size())
        {
            ++i;
            entry.Name += name[i] == 'n' ? '\n' : name[i] == 'r' ? '\r' : name[i];
        }
        else
            entry.Name += name[i];
    }
    if (entry.Name.empty())
        return false;
    entry.Hex = LowerHex(hex);
    return true;
}
} // namespace

const char* ChecksumKindName(TChecksumKind kind)
{
    switch (kind)
    {
    case TChecksumKind::Md5:
        return "MD5";
    case TChecksumKind::Sha256:
        return "SHA256";
    case TChecksumKind::Sha512:
        return "SHA512";
    case TChecksumKind::None:
        break;
    }
    return "";
}

std::size_t ChecksumHexDigits(TChecksumKind kind)
{
    switch (kind)
    {
    case TChecksumKind::Md5:
        return 32;
    case TChecksumKind::Sha256:
        return 64;
    case TChecksumKind::Sha512:
        return 128;
    case TChecksumKind::None:
        break;
    }
    return 0;
}

TChecksumKind ChecksumListKind(std::string_view link, bool& beside, std::string* besideName)
{
    beside = false;
    link = link.substr(0, std::min(link.find('?'), link.find('#')));
    const std::size_t slash = link.rfind('/');
    const std::string_view name = slash == npos ? link : link.substr(slash + 1);
    if (EqualNoCase(name, "SHA256SUMS"))
        return TChecksumKind::Sha256;
    if (EqualNoCase(name, "SHA512SUMS"))
        return TChecksumKind::Sha512;
    if (EqualNoCase(name, "MD5SUMS"))
        return TChecksumKind::Md5;
    static constexpr std::array<std::pair<std::string_view, TChecksumKind>, 3> Endings{{
        {".sha256", TChecksumKind::Sha256},
        {".sha512", TChecksumKind::Sha512},
        {".md5", TChecksumKind::Md5},
    }};
    for (const auto& [ending, kind] : Endings)
        if (name.size() > ending.size() && EndsWithNoCase(name, ending))
        {
            beside = true;
            if (besideName)
                *besideName = std::string(link.substr(0, link.size() - ending.size()));
            return kind;
        }
    return TChecksumKind::None;
}

std::vector<TChecksumEntry> ParseChecksumList(std::string_view bytes, TChecksumKind kind,
                                              std::string_view besideName)
{
    std::vector<TChecksumEntry> entries;
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    while (!bytes.empty())
    {
        const std::size_t end = std::min(bytes.find('\n'), bytes.size());
        std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        TChecksumEntry entry;
        if (ParseBsdLine(line, entry) || ParseGnuLine(line, kind, entry))
            entries.push_back(std::move(entry));
        else if (const std::string_view lone = TrimSpace(line); !besideName.empty() && IsHex(lone))
        {
            entry.Kind = KindOfSum(lone, kind);
            if (entry.Kind == TChecksumKind::None)
                continue;
            entry.Name = std::string(besideName);
            entry.Hex = LowerHex(lone);
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

std::string_view ChecksumMatchName(std::string_view name)
{
    const std::size_t slash = name.rfind('/');
    return slash == npos ? name : name.substr(slash + 1);
}
