#include "links/linkextraction.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "links/checksumlist.h"
#include "links/urlresolution.h"
#include "platform/bytetext.h"
#include "platform/filebytes.h"

namespace
{
constexpr std::size_t npos = std::string_view::npos;
constexpr std::size_t MaxLabelLength = 64;
// Pieces fed at once are cut to this size, so that what is held stays bounded.
constexpr std::size_t PieceBytes = 256 * 1024;
// How far back from an "HREF=" the scan looks for the "<base" of its tag.
constexpr std::size_t LookBackBytes = 256;

bool IsBlank(char c)
{
    return bytetext::IsBlankOrControl(c);
}

bool StartsWithKeyword(std::string_view text, std::size_t at, std::string_view keyword)
{
    if (at + keyword.size() > text.size())
        return false;
    for (std::size_t i = 0; i < keyword.size(); ++i)
        if (bytetext::Upper(text[at + i]) != keyword[i])
            return false;
    return true;
}

// A value without quotes, or with a quote that does not close before the next tag, is cut out of
// the tag text as it always was: up to the first blank, then from a double quote to the next,
// single quotes, CR and LF deleted.
std::string CutLink(std::string_view tagText)
{
    std::string_view link = tagText;
    if (const std::size_t blank = link.find(' '); blank != npos)
        link = link.substr(0, blank);
    if (const std::size_t quote = link.find('"'); quote != npos)
    {
        link = link.substr(quote + 1);
        if (const std::size_t closing = link.find('"'); closing != npos)
            link = link.substr(0, closing);
    }
    std::string result;
    result.reserve(link.size());
    for (char c : link)
        if (c != '\'' && c != '\r' && c != '\n')
            result += c;
    return result;
}

// A quoted value keeps its blanks and quotes of the other kind; line ends and tabs in it are no
// part of an address.
std::string QuotedLink(std::string_view value)
{
    if (bytetext::FindAny(value, "\r\n\t") == npos)
        return std::string(value);
    std::string result;
    result.reserve(value.size());
    for (char c : value)
        if (c != '\r' && c != '\n' && c != '\t')
            result += c;
    return result;
}

// The value of an attribute that starts at view[at] (blanks before it allowed): a quoted value
// runs to its closing quote. Returns false when the value has no end in the view; end is then
// where the search for the tag's ">" goes on, else just after the value.
bool TakeValue(std::string_view view, std::size_t at, bool unquotedToBlank, std::string& link,
               std::size_t& end)
{
    while (at < view.size() && IsBlank(view[at]))
        ++at;
    end = at;
    if (at == view.size())
        return false;
    const char quote = view[at];
    std::size_t valueEnd;
    if (quote == '"' || quote == '\'')
    {
        const std::size_t closing = view.find(quote, at + 1);
        const std::string_view value = view.substr(at + 1, closing == npos ? 0 : closing - at - 1);
        // A quote that closes only beyond the start of another tag was never closed.
        if (closing != npos && value.find('<') == npos)
        {
            link = QuotedLink(value);
            end = closing + 1;
            return true;
        }
        valueEnd = view.find('>', at);
    }
    else if (unquotedToBlank)
    {
        // An attribute among others (one of <img>'s) ends at the first blank.
        valueEnd = at;
        while (valueEnd < view.size() && !IsBlank(view[valueEnd]) && view[valueEnd] != '>')
            ++valueEnd;
        if (valueEnd == view.size())
            valueEnd = npos;
    }
    else
        valueEnd = view.find('>', at);
    if (valueEnd == npos)
        return false;
    link = CutLink(bytetext::Trim(view.substr(at, valueEnd - at)));
    end = valueEnd;
    return true;
}

// The src of an <img> tag whose attributes follow in the view.
bool TakeImageSource(std::string_view view, std::string& link, std::size_t& end)
{
    std::size_t at = 0;
    for (;;)
    {
        while (at < view.size() && (IsBlank(view[at]) || view[at] == '/'))
            ++at;
        end = at;
        if (at == view.size() || view[at] == '>')
            return false;
        const std::size_t nameStart = at;
        while (at < view.size() && !IsBlank(view[at]) && view[at] != '=' && view[at] != '>' &&
               view[at] != '/')
            ++at;
        const std::string_view name = view.substr(nameStart, at - nameStart);
        std::size_t equals = at;
        while (equals < view.size() && IsBlank(view[equals]))
            ++equals;
        if (equals == view.size() || view[equals] != '=')
            continue;
        std::string value;
        if (!TakeValue(view, equals + 1, true, value, end))
            return false;
        if (bytetext::EqualsNoCase(name, "SRC"))
        {
            link = std::move(value);
            return true;
        }
        at = end;
    }
}

// The label of a ".cgi" entry: the tag text, made fit to stand in a file name.
std::string CgiLabel(std::string_view tagText)
{
    std::string label;
    for (char c : bytetext::Trim(tagText))
    {
        if (c == '"' || c == '\'')
            continue;
        const auto code = static_cast<unsigned char>(c);
        label += (c == '/' || c == '\\' || code < 32 || code == 127) ? '-' : c;
        if (label.size() == MaxLabelLength)
            break;
    }
    return std::string(bytetext::Trim(label));
}

void AppendUtf8(std::string& text, unsigned long code)
{
    if (code < 0x80)
        text += static_cast<char>(code);
    else if (code < 0x800)
    {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
    else if (code < 0x10000)
    {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
    else
    {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character a reference names (the text between "&" and ";"), or false.
bool ReferencedCharacter(std::string_view name, std::string& into)
{
    static constexpr struct
    {
        std::string_view name;
        char character;
    } named[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''},
                 {"AMP", '&'}, {"LT", '<'}, {"GT", '>'}, {"QUOT", '"'}};
    for (const auto& entry : named)
        if (name == entry.name)
        {
            into += entry.character;
            return true;
        }
    if (name.size() < 2 || name[0] != '#')
        return false;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 10)
        return false;
    unsigned long code = 0;
    for (char c : digits)
    {
        int digit;
        if (bytetext::IsDigit(c))
            digit = c - '0';
        else if (hex && bytetext::Upper(c) >= 'A' && bytetext::Upper(c) <= 'F')
            digit = bytetext::Upper(c) - 'A' + 10;
        else
            return false;
        code = std::min(code * (hex ? 16 : 10) + static_cast<unsigned long>(digit), 0x110000ul);
    }
    // A control character is no part of an address (and would break a list file's lines or a
    // request line); a surrogate or a number beyond Unicode names no character. Either is dropped.
    if (code >= 0x20 && code != 0x7F && !(code >= 0x80 && code < 0xA0) &&
        !(code >= 0xD800 && code < 0xE000) && code <= 0x10FFFF)
        AppendUtf8(into, code);
    return true;
}

// Collects what the link scanner finds into a list, as the run lists a page's links.
class TPageLinkList
{
  public:
    TPageLinkList(std::string_view filterText, TFilterMode mode, TLinkList& list,
                  std::vector<std::string>* checksumLists = nullptr)
        : filterText(filterText), mode(mode), list(list), checksumLists(checksumLists)
    {
    }

    void Take(TLinkScanner::TFound& found)
    {
        std::string& link = found.Link;
        if (found.Base)
        {
            // The first <base> with an address counts; it is where links lead, no link itself.
            if (!haveBase && !link.empty())
            {
                base = std::move(link);
                haveBase = true;
            }
            return;
        }
        if (checksumLists && !link.empty())
        {
            bool beside = false;
            if (ChecksumListKind(link, beside) != TChecksumKind::None)
                checksumLists->push_back(link);
        }
        if (!PassesFilter(link, filterText, mode) || bytetext::StartsWithNoCase(link, "MAILTO:"))
            return;
        if (link.find(".cgi") == npos)
            list.AppendNew(std::move(link));
        else if (!list.Contains(link))
            list.Append(link + "->" + CgiLabel(found.TagText));
    }

    // Passes over the links that lead back to the page or to a folder above it, and returns the
    // address the others resolve against.
    std::string Settle(std::string_view pageAddress)
    {
        std::string against(pageAddress);
        if (haveBase)
            against = pageAddress.empty() ? base : ResolveLink(pageAddress, base);
        if (pageAddress.empty())
            return against;
        const TURLParts parts = SplitURL(against);
        const TPlace page = PlaceOf(pageAddress);
        // A relative link lands in the folder it is relative to, so one without dot segments whose
        // path is longer than the page's cannot lead back to it, and need not be resolved.
        const std::size_t folderLength =
            parts.Directory.empty() ? 1 : parts.Directory.size() + (parts.Directory.back() == '/' ? 0 : 1);
        std::string address;
        list.DeleteIf(
            [&](const std::string& entry)
            {
                const std::string_view link = bytetext::BeforeArrow(entry);
                if (!link.empty() && link.front() != '/' && link.front() != '.' && link.front() != '?' &&
                    link.find("://") == npos && link.find("/.") == npos &&
                    folderLength + std::min(bytetext::FindAny(link, "?#"), link.size()) > page.Path.size())
                    return false;
                ResolveLink(parts, entry, address);
                return LeadsBackTo(page, address);
            });
        return against;
    }

  private:
    std::string_view filterText;
    TFilterMode mode;
    TLinkList& list;
    std::vector<std::string>* checksumLists;
    std::string base;
    bool haveBase = false;
};

void ReadPage(const std::string& pageFile, TLinkScanner& scanner)
{
    TRegularFile file(pageFile);
    std::vector<char> buffer(PieceBytes);
    while (!scanner.Ended())
    {
        const std::size_t count = file.Read(buffer.data(), buffer.size());
        if (count == 0)
            break;
        scanner.Feed(std::string_view(buffer.data(), count));
    }
    scanner.Finish();
}
} // namespace

TLinkScanner::TLinkScanner(TKind kind, TOnFound onFound) : kind(kind), onFound(std::move(onFound)) {}

void TLinkScanner::Feed(std::string_view bytes)
{
    while (!bytes.empty() && !ended)
    {
        const std::string_view piece = bytes.substr(0, PieceBytes);
        bytes.remove_prefix(piece.size());
        Append(piece);
        Scan(false);
        // Keep what a keyword still to come may look back at, and nothing older.
        if (pos > LookBackBytes)
        {
            const std::size_t drop = pos - LookBackBytes;
            // The comments of what goes are followed first; a marker cut at pos stays.
            if (kind == TKind::Links)
                TrackComments(pos);
            text.erase(0, drop);
            pos -= drop;
            commentsFrom = commentsFrom > drop ? commentsFrom - drop : 0;
        }
    }
}

void TLinkScanner::Finish()
{
    Scan(true);
    text.clear();
    pos = 0;
    commentsFrom = 0;
}

void TLinkScanner::TrackComments(std::size_t limit)
{
    // Only markers that lie wholly before limit count; one cut by it is found the next time.
    while (commentsFrom < limit)
    {
        const std::string_view marker = inComment ? "-->" : "<!--";
        const std::size_t found = std::string_view(text).substr(0, limit).find(marker, commentsFrom);
        if (found == npos)
        {
            commentsFrom = std::max(commentsFrom, limit > marker.size() ? limit - marker.size() + 1 : 0);
            return;
        }
        commentsFrom = found + marker.size();
        inComment = !inComment;
    }
}

void TLinkScanner::Append(std::string_view bytes)
{
    if (const std::size_t end = bytes.find('\x1A'); end != npos)
    {
        bytes = bytes.substr(0, end);
        ended = true;
    }
    if (bytes.empty())
        return;
    std::size_t from = 0;
    if (afterCR && bytes.front() == '\n')
        from = 1;
    afterCR = false;
    // Every CR goes, and so does the LF of a CR LF pair.
    while (from < bytes.size())
    {
        const void* hit = std::memchr(bytes.data() + from, '\r', bytes.size() - from);
        const std::size_t cr = hit ? static_cast<const char*>(hit) - bytes.data() : bytes.size();
        text.append(bytes.data() + from, cr - from);
        from = cr + 1;
        if (from < bytes.size() && bytes[from] == '\n')
            ++from;
        else if (from == bytes.size())
            afterCR = true;
    }
    peakHeld = std::max(peakHeld, text.size());
}

// The start of the next keyword at or after from: "HREF=" (found by jumping from "=" to "=" with
// memchr, which keeps the scan near memory speed), or "<IMG" followed by a blank or "/".
std::size_t TLinkScanner::FindKeyword(std::size_t from) const
{
    const char* const data = text.data();
    if (kind == TKind::Links)
    {
        for (std::size_t at = from + 4; at < text.size();)
        {
            const void* hit = std::memchr(data + at, '=', text.size() - at);
            if (!hit)
                return npos;
            at = static_cast<const char*>(hit) - data;
            if (StartsWithKeyword(text, at - 4, "HREF"))
                return at - 4;
            ++at;
        }
        return npos;
    }
    for (std::size_t at = from; at < text.size();)
    {
        const void* hit = std::memchr(data + at, '<', text.size() - at);
        if (!hit)
            return npos;
        at = static_cast<const char*>(hit) - data;
        if (at + 4 >= text.size())
            return npos;
        if (StartsWithKeyword(text, at, "<IMG") && (IsBlank(text[at + 4]) || text[at + 4] == '/'))
            return at;
        ++at;
    }
    return npos;
}

// Whether the "HREF=" at keyword stands in a <base> tag.
bool TLinkScanner::InBaseTag(std::size_t keyword) const
{
    const std::size_t from = keyword > LookBackBytes ? keyword - LookBackBytes : 0;
    const std::string_view before = std::string_view(text).substr(from, keyword - from);
    const std::size_t open = before.rfind('<');
    if (open == npos || before.find('>', open) != npos)
        return false;
    return StartsWithKeyword(before, open, "<BASE") && open + 5 < before.size() && IsBlank(before[open + 5]);
}

void TLinkScanner::Scan(bool final)
{
    const std::size_t keywordLength = kind == TKind::Links ? 5 : 4;
    for (;;)
    {
        if (skipping)
        {
            const void* hit =
                pos < text.size() ? std::memchr(text.data() + pos, '>', text.size() - pos) : nullptr;
            if (!hit)
            {
                pos = text.size();
                if (final)
                {
                    // A tag that never ends gives no link.
                    skipping = false;
                    pendingLink = false;
                }
                return;
            }
            pos = static_cast<const char*>(hit) - text.data() + 1;
            skipping = false;
            if (pendingLink)
            {
                pendingLink = false;
                pending.TagText = pendingTag;
                onFound(pending);
            }
            continue;
        }

        const std::size_t keyword = FindKeyword(pos);
        if (keyword == npos)
        {
            // A keyword may begin in the last four bytes and end in the next piece.
            if (text.size() > 4)
                pos = std::max(pos, text.size() - 4);
            return;
        }
        const std::size_t start = keyword + keywordLength;
        // The value is read within a window that is the same however the page was cut.
        if (!final && text.size() - start < MaxLinkBytes)
        {
            pos = keyword;
            return;
        }
        const std::string_view view = std::string_view(text).substr(start, MaxLinkBytes);
        TFound found;
        std::size_t end = 0;
        bool ok;
        if (kind == TKind::Links)
        {
            ok = TakeValue(view, 0, false, found.Link, end);
            // A <base> that is commented out is no base, though links in comments still count.
            TrackComments(keyword);
            found.Base = ok && !inComment && InBaseTag(keyword);
        }
        else
            ok = TakeImageSource(view, found.Link, end);
        if (ok)
        {
            if (found.Link.find('&') != npos)
                found.Link = DecodeEntities(found.Link);
            if (kind == TKind::Links)
                if (const std::size_t hash = found.Link.find('#'); hash != npos)
                    found.Link.resize(hash);
            const std::string_view trimmed = bytetext::Trim(found.Link);
            if (trimmed.size() != found.Link.size())
                found.Link = std::string(trimmed);
        }

        pos = start + end;
        skipping = true;
        if (!ok)
            continue;
        const void* hit = std::memchr(text.data() + pos, '>', text.size() - pos);
        if (hit)
        {
            const std::size_t close = static_cast<const char*>(hit) - text.data();
            found.TagText = std::string_view(text).substr(start, std::min(close - start, LabelBytes));
            pos = close + 1;
            skipping = false;
            onFound(found);
            continue;
        }
        pending = std::move(found);
        pendingTag = text.substr(start, LabelBytes);
        pendingLink = true;
    }
}

std::string DecodeEntities(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    std::size_t from = 0;
    while (from < text.size())
    {
        const std::size_t amp = text.find('&', from);
        if (amp == npos)
            break;
        result.append(text.substr(from, amp - from));
        const std::size_t semicolon = text.substr(amp, 14).find(';');
        if (semicolon != npos && ReferencedCharacter(text.substr(amp + 1, semicolon - 1), result))
            from = amp + semicolon + 1;
        else
        {
            result += '&';
            from = amp + 1;
        }
    }
    result.append(text.substr(std::min(from, text.size())));
    return result;
}

bool PassesFilter(std::string_view link, std::string_view filterText, TFilterMode mode)
{
    if (link.empty())
        return false;
    if (filterText.empty())
        return true;
    if (mode == TFilterMode::Contains)
        return bytetext::ContainsNoCase(link, filterText);
    return bytetext::EndsWithNoCase(link, filterText);
}

std::string ExtractLinksFromText(std::string_view pageBytes, std::string_view filterText, TFilterMode mode,
                                 TLinkList& list, std::string_view pageAddress)
{
    list.Clear();
    TPageLinkList links(filterText, mode, list);
    TLinkScanner scanner(TLinkScanner::TKind::Links,
                         [&links](TLinkScanner::TFound& found) { links.Take(found); });
    scanner.Feed(pageBytes);
    scanner.Finish();
    return links.Settle(pageAddress);
}

std::string ExtractLinks(const std::string& pageFile, std::string_view filterText, TFilterMode mode,
                         TLinkList& list, std::string_view pageAddress,
                         std::vector<std::string>* checksumLists)
{
    list.Clear();
    if (pageFile.empty())
        return std::string(pageAddress);
    TPageLinkList links(filterText, mode, list, checksumLists);
    TLinkScanner scanner(TLinkScanner::TKind::Links,
                         [&links](TLinkScanner::TFound& found) { links.Take(found); });
    try
    {
        ReadPage(pageFile, scanner);
    }
    catch (...)
    {
        list.Clear();
        throw;
    }
    return links.Settle(pageAddress);
}

void ExtractImageLinksFromText(std::string_view pageBytes, TLinkList& list)
{
    TLinkScanner scanner(TLinkScanner::TKind::Images,
                         [&list](TLinkScanner::TFound& found)
                         {
                             if (!found.Link.empty())
                                 list.AppendNew(std::move(found.Link));
                         });
    scanner.Feed(pageBytes);
    scanner.Finish();
}

void ExtractImageLinks(const std::string& pageFile, TLinkList& list)
{
    if (pageFile.empty())
        return;
    TLinkScanner scanner(TLinkScanner::TKind::Images,
                         [&list](TLinkScanner::TFound& found)
                         {
                             if (!found.Link.empty())
                                 list.AppendNew(std::move(found.Link));
                         });
    ReadPage(pageFile, scanner);
}
