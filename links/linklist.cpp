#include "links/linklist.h"

#include "platform/bytetext.h"

std::uint64_t TLinkList::Hash(std::string_view text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : text)
    {
        hash ^= static_cast<unsigned char>(bytetext::Upper(c));
        hash *= 1099511628211ull;
    }
    return hash ^ (hash >> 29);
}

void TLinkList::Clear()
{
    items.clear();
    table.clear();
}

bool TLinkList::Contains(std::string_view text) const
{
    if (table.empty())
        return false;
    const std::uint64_t hash = Hash(text);
    const std::size_t mask = table.size() - 1;
    for (std::size_t at = hash & mask; table[at].position != 0; at = (at + 1) & mask)
        if (table[at].hash == static_cast<std::uint32_t>(hash >> 32) &&
            bytetext::EqualsNoCase(items[table[at].position - 1], text))
            return true;
    return false;
}

void TLinkList::Index(std::size_t position, std::uint64_t hash)
{
    const std::size_t mask = table.size() - 1;
    std::size_t at = hash & mask;
    while (table[at].position != 0)
        at = (at + 1) & mask;
    table[at] = {static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(position + 1)};
}

void TLinkList::Rebuild(std::size_t slotCount)
{
    table.assign(slotCount, Slot{});
    for (std::size_t i = 0; i < items.size(); ++i)
        Index(i, Hash(items[i]));
}

void TLinkList::Append(std::string entry)
{
    items.push_back(std::move(entry));
    // Kept at most half full, so probes stay short.
    if (items.size() * 2 > table.size())
        Rebuild(table.empty() ? 64 : table.size() * 2);
    else
        Index(items.size() - 1, Hash(items.back()));
}

bool TLinkList::AppendNew(std::string entry)
{
    if (Contains(entry))
        return false;
    Append(std::move(entry));
    return true;
}

void TLinkList::Delete(std::size_t index)
{
    if (index >= items.size())
        return;
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
    Rebuild(table.size());
}

void TLinkList::Assign(std::vector<std::string> entries)
{
    items = std::move(entries);
    std::size_t slotCount = 64;
    while (items.size() * 2 > slotCount)
        slotCount *= 2;
    Rebuild(slotCount);
}
