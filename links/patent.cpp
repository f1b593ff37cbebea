#include "links/patent.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

#include "platform/bytetext.h"

namespace
{
bool IsLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

std::string Padded(long long value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld", digits, value);
    return text;
}
} // namespace

bool IsPatentScheme(std::string_view scheme)
{
    for (std::string_view patentScheme : PatentSchemes)
        if (bytetext::EqualsNoCase(scheme, patentScheme))
            return true;
    return false;
}

void PatentPageLinks(std::string_view scheme, std::string_view patentNumber, TLinkList& list,
                     const std::function<void(const std::string&)>& showMessage)
{
    // The run takes any letter case of the scheme as a patent entry; so do the queries.
    if (!IsPatentScheme(scheme))
        return;
    const std::string text = bytetext::UpperCase(patentNumber);
    std::size_t at = 0;
    while (at < text.size() && IsLetter(text[at]))
        ++at;
    const std::string country = text.substr(0, at);
    const std::size_t numberStart = at;
    while (at < text.size() && bytetext::IsDigit(text[at]))
        ++at;
    const std::string number = text.substr(numberStart, at - numberStart);
    const std::string rest = text.substr(at);

    std::string kind = rest;
    if (country == "GB")
        kind = rest.empty() ? "A+" : rest.substr(0, 1) + "+";

    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc() || end != number.data() + number.size())
    {
        if (showMessage)
            showMessage("Patent numeric parse error: " + number);
        return;
    }

    const std::string number7 = Padded(value, 7);
    const std::string prefix = "http://" + std::string(PatentServer) +
                               "/dips/bns.pdf?CY=ep&LG=en&DB=epd&PN=" + country + number7 + "&ID=" + country +
                               "+++" + number7 + kind + "+I+&PG=";
    for (int page = 1; page <= PatentMaxPages; ++page)
        list.Append(prefix + std::to_string(page));
}

std::string PatentPageFileName(std::string_view patentNumber, int position)
{
    return std::string(patentNumber) + "_P" + Padded(position, 3) + ".pdf";
}
