#include "links/linkextraction.h"

#include <cstring>

#include "platform/bytetext.h"
#include "platform/filebytes.h"

namespace
{
constexpr std::size_t npos = std::string_view::npos;
constexpr std::size_t MaxLabelLength = 64;

bool SameKeywordChar(char pageChar, char keywordChar)
{
    return bytetext::Upper(pageChar) == keywordChar;
}

// Finds a keyword that ends in "=" (such as "HREF=") regardless of letter case and returns the
// position just after it. Jumping from "=" to "=" with memchr keeps the scan near memory speed.
std::size_t FindKeywordEnd(std::string_view text, std::size_t from, std::string_view keyword)
{
    const std::size_t before = keyword.size() - 1;
    std::size_t at = from + before;
    while (at < text.size())
    {
        const void* hit = std::memchr(text.data() + at, '=', text.size() - at);
        if (!hit)
            return npos;
        at = static_cast<const char*>(hit) - text.data();
        bool match = true;
        for (std::size_t i = 0; i < before && match; ++i)
            match = SameKeywordChar(text[at - before + i], keyword[i]);
        if (match)
            return at + 1;
        ++at;
    }
    return npos;
}

// Steps shared by page links and image sources: blank cut, double-quote cut, single quotes,
// CR and LF deleted.
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

std::string Trimmed(const std::string& text)
{
    return std::string(bytetext::Trim(text));
}

// The label of a ".cgi" entry: the tag text, made fit to stand in a file name.
std::string CgiLabel(std::string_view tagText)
{
    std::string label;
    for (char c : tagText)
    {
        if (c == '"' || c == '\'')
            continue;
        const auto code = static_cast<unsigned char>(c);
        label += (c == '/' || c == '\\' || code < 32 || code == 127) ? '-' : c;
        if (label.size() == MaxLabelLength)
            break;
    }
    return Trimmed(label);
}

template <typename OnTag> void ScanTags(std::string_view text, std::string_view keyword, OnTag onTag)
{
    std::size_t start = FindKeywordEnd(text, 0, keyword);
    while (start != npos)
    {
        const std::size_t close = text.find('>', start);
        if (close == npos)
            return;
        onTag(bytetext::Trim(text.substr(start, close - start)));
        start = FindKeywordEnd(text, close + 1, keyword);
    }
}
} // namespace

std::string PageTextFromBytes(std::string bytes)
{
    if (const std::size_t end = bytes.find('\x1A'); end != npos)
        bytes.resize(end);
    // Compacts in place: every CR goes, and so does the LF of a CR LF pair.
    char* const data = bytes.data();
    const std::size_t size = bytes.size();
    std::size_t from = 0;
    std::size_t to = 0;
    while (from < size)
    {
        const void* hit = std::memchr(data + from, '\r', size - from);
        const std::size_t cr = hit ? static_cast<const char*>(hit) - data : size;
        if (to != from)
            std::memmove(data + to, data + from, cr - from);
        to += cr - from;
        from = cr + 1;
        if (from < size && data[from] == '\n')
            ++from;
    }
    bytes.resize(to);
    return bytes;
}

std::string ReadPageText(const std::string& pageFile)
{
    return PageTextFromBytes(ReadFileBytes(pageFile));
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

void ExtractLinksFromText(std::string_view pageText, std::string_view filterText, TFilterMode mode,
                          TLinkList& list)
{
    list.Clear();
    ScanTags(pageText, "HREF=",
             [&](std::string_view tagText)
             {
                 std::string link = CutLink(tagText);
                 if (const std::size_t hash = link.find('#'); hash != npos)
                     link.resize(hash);
                 link = Trimmed(link);
                 if (!PassesFilter(link, filterText, mode) || list.Contains(link) ||
                     bytetext::StartsWithNoCase(link, "MAILTO:"))
                     return;
                 if (link.find(".cgi") != npos)
                     list.Append(link + "->" + CgiLabel(tagText));
                 else
                     list.Append(std::move(link));
             });
}

void ExtractImageLinksFromText(std::string_view pageText, TLinkList& list)
{
    ScanTags(pageText, "<IMG SRC=",
             [&](std::string_view tagText)
             {
                 std::string link = Trimmed(CutLink(tagText));
                 if (!link.empty())
                     list.AppendNew(std::move(link));
             });
}

void ExtractLinks(const std::string& pageFile, std::string_view filterText, TFilterMode mode, TLinkList& list)
{
    list.Clear();
    if (pageFile.empty())
        return;
    ExtractLinksFromText(ReadPageText(pageFile), filterText, mode, list);
}

void ExtractImageLinks(const std::string& pageFile, TLinkList& list)
{
    if (pageFile.empty())
        return;
    ExtractImageLinksFromText(ReadPageText(pageFile), list);
}
