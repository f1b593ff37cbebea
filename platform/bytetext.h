#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Single-byte text helpers. Only the letters a-z and A-Z change case, so positions in an
// upper-cased copy match the original byte for byte.
namespace bytetext
{
inline char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string UpperCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = Upper(c);
    return result;
}

inline bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The value of a hexadecimal digit in either letter case, or -1 for any other character.
inline int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Drops every CR and LF at the end: "text\r\r\n" gives "text".
inline std::string_view WithoutLineEnd(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Drops the one line end of a line as read: a LF, then a CR before it. "text\r\r\n" gives
// "text\r", whose first CR belongs to the text.
inline std::string_view WithoutOneLineEnd(std::string_view text)
{
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    return text;
}

// A byte below 0x20 or DEL. In an address, a name or a command line sent to a peer, CR and LF
// would start a line of their own there.
inline bool HasControlByte(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

inline bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

// Drops blanks and control characters (codes 0 to 32) from both ends.
inline std::string_view Trim(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlankOrControl(text[first]))
        ++first;
    while (last > first && IsBlankOrControl(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

inline bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

inline bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

inline std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from = 0)
{
    if (needle.empty())
        return from <= text.size() ? from : std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i)
        if (Upper(text[i]) == Upper(needle[0]) && EqualsNoCase(text.substr(i, needle.size()), needle))
            return i;
    return std::string_view::npos;
}

inline bool ContainsNoCase(std::string_view text, std::string_view needle)
{
    return FindNoCase(text, needle) != std::string_view::npos;
}

// The first of a few characters, by a plain loop: find_first_of calls memchr on the set for every
// byte of the text, which is slow where it matters (every link of a page).
inline std::size_t FindAny(std::string_view text, std::string_view characters, std::size_t from = 0)
{
    for (std::size_t i = from; i < text.size(); ++i)
        for (char c : characters)
            if (text[i] == c)
                return i;
    return std::string_view::npos;
}

// The text with every byte for which escaped(byte) holds written as prefix and its two hex
// digits ("%E9", "\\x0a"); the other bytes as they are.
template <typename Escaped>
std::string HexEscaped(std::string_view text, Escaped escaped, std::string_view prefix, bool upperCase)
{
    const char* const digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string result;
    result.reserve(text.size());
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (!escaped(byte))
        {
            result += c;
            continue;
        }
        result += prefix;
        result += digits[byte >> 4];
        result += digits[byte & 15];
    }
    return result;
}

// Everything before the first "->": the address part of a list entry.
inline std::string_view BeforeArrow(std::string_view entry)
{
    return entry.substr(0, entry.find("->"));
}
} // namespace bytetext
