// Reads arbitrary checksum lists and list names: every entry has a name and a sum of the length
// its kind has, in lower-case hex.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "links/checksumlist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto kind = static_cast<TChecksumKind>(data[0] % 4);
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (const TChecksumEntry& entry : ParseChecksumList(text, kind, (data[0] & 4) ? "beside" : ""))
    {
        if (entry.Name.empty() || entry.Hex.size() != ChecksumHexDigits(entry.Kind) || entry.Hex.empty())
            std::abort();
        for (const char c : entry.Hex)
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
                std::abort();
    }
    bool beside = false;
    std::string name;
    if (ChecksumListKind(text, beside, &name) != TChecksumKind::None && beside && name.empty())
        std::abort();
    return 0;
}
