#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// An ordered list of entries with a case-insensitive index beside it, so that asking
// whether an entry is already listed costs the same for ten entries as for a million.
class TLinkList
{
  public:
    void Clear();
    std::size_t Count() const { return items.size(); }
    bool Empty() const { return items.empty(); }
    const std::string& operator[](std::size_t index) const { return items[index]; }
    const std::vector<std::string>& Items() const { return items; }

    // True when an entry equal to the text, ignoring letter case, is listed.
    bool Contains(std::string_view text) const;
    void Append(std::string entry);
    // Appends only what is not listed yet; returns whether it was appended.
    bool AppendNew(std::string entry);

  private:
    struct NoCaseHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const;
    };
    struct NoCaseEqual
    {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    std::vector<std::string> items;
    std::unordered_multiset<std::string, NoCaseHash, NoCaseEqual> index;
};
