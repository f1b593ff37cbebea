#include "net/origin.h"

#include "net/httpparse.h"
#include "platform/exception.h"

namespace
{
std::string LowerCase(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}
} // namespace

std::string OriginOf(std::string_view url, std::string_view host, int port)
{
    const std::size_t schemeEnd = url.find("://");
    const std::string_view scheme = schemeEnd == std::string_view::npos ? "http" : url.substr(0, schemeEnd);
    return LowerCase(scheme) + "://" + LowerCase(host) + ":" + std::to_string(port);
}

std::string OriginOf(std::string_view address)
{
    try
    {
        const httpparse::TRequestTarget target = httpparse::ParseRequestURL(address, {}, 0);
        return target.host.empty() ? std::string() : OriginOf(target.url, target.host, target.port);
    }
    catch (const Exception&)
    {
        return {};
    }
}
