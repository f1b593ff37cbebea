#include "net/exstringlist.h"

#include <algorithm>

#include "platform/bytetext.h"

namespace
{
std::string_view NameOf(std::string_view line)
{
    return line.substr(0, line.find(':'));
}

int CompareNoCase(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i)
    {
        const char x = bytetext::Upper(a[i]);
        const char y = bytetext::Upper(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool LineBefore(const std::string& a, const std::string& b)
{
    return CompareNoCase(a, b) < 0;
}
} // namespace

void TExStringList::Add(std::string line)
{
    if (sorted)
        lines.insert(std::upper_bound(lines.begin(), lines.end(), line, LineBefore), std::move(line));
    else
        lines.push_back(std::move(line));
}

void TExStringList::Insert(std::size_t index, std::string line)
{
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(std::min(index, lines.size())), std::move(line));
}

void TExStringList::Delete(std::size_t index)
{
    if (index < lines.size())
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string TExStringList::Text() const
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

void TExStringList::SetSorted(bool value)
{
    sorted = value;
    if (sorted)
        std::stable_sort(lines.begin(), lines.end(), LineBefore);
}

int TExStringList::IndexOfHeader(std::string_view name) const
{
    if (sorted)
    {
        // Lines sort by their whole text, which orders them by name first.
        std::size_t low = 0;
        std::size_t high = lines.size();
        while (low < high)
        {
            const std::size_t middle = (low + high) / 2;
            if (CompareNoCase(NameOf(lines[middle]), name) < 0)
                low = middle + 1;
            else
                high = middle;
        }
        if (low < lines.size() && lines[low].find(':') != std::string::npos &&
            CompareNoCase(NameOf(lines[low]), name) == 0)
            return static_cast<int>(low);
        return -1;
    }
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(':') != std::string::npos && CompareNoCase(NameOf(lines[i]), name) == 0)
            return static_cast<int>(i);
    return -1;
}

void TExStringList::SetHeaderValue(std::string_view name, std::string_view value)
{
    const int index = IndexOfHeader(name);
    if (value.empty())
    {
        if (index >= 0)
            Delete(static_cast<std::size_t>(index));
        return;
    }
    std::string line = std::string(name) + ": " + std::string(value);
    if (index >= 0 && !sorted)
        lines[static_cast<std::size_t>(index)] = std::move(line);
    else
    {
        if (index >= 0)
            Delete(static_cast<std::size_t>(index));
        Add(std::move(line));
    }
}
