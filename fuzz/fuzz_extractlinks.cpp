// Feeds arbitrary pages to the link scanner; the first byte chooses the filter and mode.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "links/linkextraction.h"
#include "platform/bytetext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const char* filters[] = {"", ".zip", ".ZIP", "a", "cgi", "html", "#", "\""};
    const std::string filter = filters[data[0] % 8];
    const TFilterMode mode = (data[0] & 8) ? TFilterMode::EndsWith : TFilterMode::Contains;
    const std::string page =
        PageTextFromBytes(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

    TLinkList list;
    ExtractLinksFromText(page, filter, mode, list);
    for (const std::string& entry : list.Items())
    {
        // A ".cgi" entry carries "->" and a label, which never holds a ">" itself.
        const bool cgi = entry.find(".cgi") != std::string::npos;
        const std::string_view link =
            std::string_view(entry).substr(0, cgi ? entry.rfind("->") : entry.size());
        if (link.empty() || !PassesFilter(link, filter, mode) ||
            bytetext::StartsWithNoCase(link, "MAILTO:") || link.find('#') != std::string_view::npos ||
            entry.find('\n') != std::string::npos)
            std::abort();
    }
    const std::size_t before = list.Count();
    ExtractImageLinksFromText(page, list);
    for (std::size_t i = before; i < list.Count(); ++i)
        if (list[i].empty())
            std::abort();
    return 0;
}
