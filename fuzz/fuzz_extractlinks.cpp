// Feeds arbitrary pages to the link scanner; the first byte chooses the filter and mode, the
// second how the page is cut into pieces, which must not change what is found.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "links/linkextraction.h"
#include "platform/bytetext.h"

namespace
{
std::vector<std::string> InPieces(TLinkScanner::TKind kind, std::string_view page, std::size_t step)
{
    std::vector<std::string> found;
    TLinkScanner scanner(
        kind, [&found](TLinkScanner::TFound& link)
        { found.push_back((link.Base ? "base " : "") + link.Link + "|" + std::string(link.TagText)); });
    for (std::size_t at = 0; at < page.size(); at += step)
        scanner.Feed(page.substr(at, step));
    scanner.Finish();
    return found;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const char* filters[] = {"", ".zip", ".ZIP", "a", "cgi", "html", "#", "\""};
    const std::string filter = filters[data[0] % 8];
    const TFilterMode mode = (data[0] & 8) ? TFilterMode::EndsWith : TFilterMode::Contains;
    const std::size_t step = 1 + data[1] % 7;
    const std::string_view page(reinterpret_cast<const char*>(data) + 2, size - 2);

    TLinkList list;
    ExtractLinksFromText(page, filter, mode, list, (data[0] & 16) ? "http://h/dir/list.html" : "");
    const auto acceptedLink = [&](std::string_view link, bool cgi)
    {
        return !link.empty() && PassesFilter(link, filter, mode) &&
               !bytetext::StartsWithNoCase(link, "MAILTO:") && link.find('#') == std::string_view::npos &&
               (link.find(".cgi") != std::string_view::npos) == cgi;
    };
    for (const std::string& entry : list.Items())
    {
        if (entry.find('\n') != std::string::npos || entry.find('\r') != std::string::npos)
            std::abort();
        // A link is listed as it is; one holding ".cgi" with "->" and a label after it. The link and
        // the label may both hold "->" themselves, so one of the arrows must end an accepted link.
        bool accepted = acceptedLink(entry, false);
        for (std::size_t arrow = entry.find("->"); !accepted && arrow != std::string::npos;
             arrow = entry.find("->", arrow + 1))
            accepted = acceptedLink(std::string_view(entry).substr(0, arrow), true);
        if (!accepted)
            std::abort();
    }
    const std::size_t before = list.Count();
    ExtractImageLinksFromText(page, list);
    for (std::size_t i = before; i < list.Count(); ++i)
        if (list[i].empty())
            std::abort();

    for (const auto kind : {TLinkScanner::TKind::Links, TLinkScanner::TKind::Images})
        if (InPieces(kind, page, step) != InPieces(kind, page, page.size() + 1))
            std::abort();
    return 0;
}
