#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// An ordered list of entries with an index beside it, so that asking whether an entry is already
// listed costs the same for ten entries as for a million. Entries compare as links do: letter
// case counts (Index.html and index.html are two files on nearly every server) except in the
// scheme and host of an absolute or protocol-relative link.
class TLinkList
{
  public:
    void Clear();
    std::size_t Count() const { return items.size(); }
    bool Empty() const { return items.empty(); }
    const std::string& operator[](std::size_t index) const { return items[index]; }
    const std::vector<std::string>& Items() const { return items; }

    // True when an entry equal to the text, as links compare, is listed.
    bool Contains(std::string_view text) const;
    void Append(std::string entry);
    // Appends only what is not listed yet; returns whether it was appended.
    bool AppendNew(std::string entry);
    void Delete(std::size_t index);
    // Deletes every entry the test holds for, keeping the order of the others.
    void DeleteIf(const std::function<bool(const std::string& entry)>& test);
    void Assign(std::vector<std::string> entries);

  private:
    // Open addressing over positions in items: compact, and valid across copies and moves.
    struct Slot
    {
        std::uint32_t hash = 0;
        std::uint32_t position = 0; // index into items + 1; 0 marks a free slot
    };

    static std::uint32_t Hash(std::string_view text);
    static bool Same(std::string_view a, std::string_view b);
    static void Index(std::vector<Slot>& slots, Slot slot);
    bool Find(std::string_view text, std::uint32_t hash) const;
    void Add(std::string entry, std::uint32_t hash);
    void Rebuild(std::size_t slotCount);

    std::vector<std::string> items;
    std::vector<Slot> table;
};
