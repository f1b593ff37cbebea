// Reads arbitrary list files and checks that writing the entries back reads the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "links/listfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto entries = ParseListText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (ParseListText(ListText(entries)) != entries)
        std::abort();
    return 0;
}
