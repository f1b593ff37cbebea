// Reads arbitrary list files and checks that writing the entries back reads the same, and that
// the lines come out the same however the text is cut into pieces.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "links/listfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t step = 1 + data[0] % 5;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto entries = ParseListText(text);
    if (ParseListText(ListText(entries)) != entries)
        std::abort();
    std::vector<std::string> pieces;
    TListLineSplitter splitter([&pieces](std::string_view line) { pieces.emplace_back(line); });
    for (std::size_t at = 0; at < text.size(); at += step)
        splitter.Feed(text.substr(at, step));
    splitter.Finish();
    if (pieces != entries)
        std::abort();
    return 0;
}
