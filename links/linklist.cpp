#include "links/linklist.h"

#include <functional>

#include "platform/bytetext.h"

namespace
{
// Where the scheme ends and where the host begins and ends in a link, or all 0 for a relative
// link: the parts whose letter case does not count.
struct TCaseFree
{
    std::size_t schemeEnd = 0;
    std::size_t hostStart = 0;
    std::size_t hostEnd = 0;

    bool Covers(std::size_t at) const { return at < schemeEnd || (at >= hostStart && at < hostEnd); }
    bool operator==(const TCaseFree&) const = default;
};

TCaseFree CaseFreeParts(std::string_view link)
{
    TCaseFree parts;
    std::size_t authority;
    if (link.starts_with("//"))
        authority = 2;
    else
    {
        const std::size_t schemeEnd = link.find("://");
        if (schemeEnd == std::string_view::npos ||
            bytetext::FindAny(link.substr(0, schemeEnd), "/?#") != std::string_view::npos)
            return parts;
        parts.schemeEnd = schemeEnd;
        authority = schemeEnd + 3;
    }
    std::size_t end = bytetext::FindAny(link, "/?#", authority);
    if (end == std::string_view::npos)
        end = link.size();
    const std::size_t at = link.substr(authority, end - authority).rfind('@');
    parts.hostStart = at == std::string_view::npos ? authority : authority + at + 1;
    parts.hostEnd = end;
    return parts;
}
} // namespace

std::uint32_t TLinkList::Hash(std::string_view text)
{
    // The scheme and host are short and folded byte by byte; the rest is hashed as it stands.
    const TCaseFree caseFree = CaseFreeParts(text);
    std::uint64_t hash = std::hash<std::string_view>{}(text.substr(caseFree.hostEnd));
    for (std::size_t i = 0; i < caseFree.hostEnd; ++i)
    {
        hash ^= static_cast<unsigned char>(caseFree.Covers(i) ? bytetext::Upper(text[i]) : text[i]);
        hash *= 1099511628211ull;
    }
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

bool TLinkList::Same(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const TCaseFree caseFree = CaseFreeParts(a);
    if (caseFree.hostEnd == 0)
        return a == b;
    if (!(caseFree == CaseFreeParts(b)))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (caseFree.Covers(i) ? bytetext::Upper(a[i]) != bytetext::Upper(b[i]) : a[i] != b[i])
            return false;
    return true;
}

void TLinkList::Clear()
{
    items.clear();
    table.clear();
}

bool TLinkList::Contains(std::string_view text) const
{
    return Find(text, Hash(text));
}

// The slot keeps the hash, whose low bits also choose the slot, so that the table grows without
// hashing the entries again.
bool TLinkList::Find(std::string_view text, std::uint32_t hash) const
{
    if (table.empty())
        return false;
    const std::size_t mask = table.size() - 1;
    for (std::size_t at = hash & mask; table[at].position != 0; at = (at + 1) & mask)
        if (table[at].hash == hash && Same(items[table[at].position - 1], text))
            return true;
    return false;
}

void TLinkList::Index(std::vector<Slot>& slots, Slot slot)
{
    const std::size_t mask = slots.size() - 1;
    std::size_t at = slot.hash & mask;
    while (slots[at].position != 0)
        at = (at + 1) & mask;
    slots[at] = slot;
}

void TLinkList::Rebuild(std::size_t slotCount)
{
    table.assign(slotCount, Slot{});
    for (std::size_t i = 0; i < items.size(); ++i)
        Index(table, {Hash(items[i]), static_cast<std::uint32_t>(i + 1)});
}

void TLinkList::Add(std::string entry, std::uint32_t hash)
{
    items.push_back(std::move(entry));
    // Kept at most half full, so probes stay short.
    if (items.size() * 2 > table.size())
    {
        std::vector<Slot> grown(table.empty() ? 64 : table.size() * 2);
        for (const Slot& slot : table)
            if (slot.position != 0)
                Index(grown, slot);
        table = std::move(grown);
    }
    Index(table, {hash, static_cast<std::uint32_t>(items.size())});
}

void TLinkList::Append(std::string entry)
{
    const std::uint32_t hash = Hash(entry);
    Add(std::move(entry), hash);
}

bool TLinkList::AppendNew(std::string entry)
{
    const std::uint32_t hash = Hash(entry);
    if (Find(entry, hash))
        return false;
    Add(std::move(entry), hash);
    return true;
}

void TLinkList::Delete(std::size_t index)
{
    if (index >= items.size())
        return;
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(index));
    Rebuild(table.size());
}

void TLinkList::DeleteIf(const std::function<bool(const std::string& entry)>& test)
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (!test(items[i]))
        {
            if (kept != i)
                items[kept] = std::move(items[i]);
            ++kept;
        }
    if (kept == items.size())
        return;
    items.resize(kept);
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
