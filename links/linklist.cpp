#include "links/linklist.h"

#include "platform/bytetext.h"

std::size_t TLinkList::NoCaseHash::operator()(std::string_view text) const
{
    std::size_t hash = 14695981039346656037ull;
    for (char c : text)
    {
        hash ^= static_cast<unsigned char>(bytetext::Upper(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

bool TLinkList::NoCaseEqual::operator()(std::string_view a, std::string_view b) const
{
    return bytetext::EqualsNoCase(a, b);
}

void TLinkList::Clear()
{
    items.clear();
    index.clear();
}

bool TLinkList::Contains(std::string_view text) const
{
    return index.find(text) != index.end();
}

void TLinkList::Append(std::string entry)
{
    index.insert(entry);
    items.push_back(std::move(entry));
}

bool TLinkList::AppendNew(std::string entry)
{
    if (Contains(entry))
        return false;
    Append(std::move(entry));
    return true;
}
