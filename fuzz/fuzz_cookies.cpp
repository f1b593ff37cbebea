// Feeds arbitrary bytes to the cookies file reader, the Set-Cookie reader and the extra-header
// check, and checks that what the jar sends is one header line, that a file written from the jar
// reads back as the same cookies, and that a header let through holds no line break.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/cookiejar.h"
#include "net/extraheader.h"

namespace
{
void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool Same(const TCookie& a, const TCookie& b)
{
    return a.Domain == b.Domain && a.IncludeSubdomains == b.IncludeSubdomains && a.Path == b.Path &&
           a.Secure == b.Secure && a.HttpOnly == b.HttpOnly && a.Expires == b.Expires && a.Name == b.Name &&
           a.Value == b.Value;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    constexpr std::int64_t now = 1700000000;

    const TCookieFileContents contents = ParseCookieFile(input);
    const TCookieFileContents again = ParseCookieFile(CookieFileText(contents.Cookies));
    Check(again.Problems.empty() && again.Cookies.size() == contents.Cookies.size());
    for (std::size_t i = 0; i < again.Cookies.size(); ++i)
        Check(Same(again.Cookies[i], contents.Cookies[i]));

    TCookieJar jar;
    for (const TCookie& cookie : contents.Cookies)
        jar.Add(cookie, now);
    const std::size_t newline = input.find('\n');
    const std::string_view header = input.substr(0, newline);
    jar.TakeSetCookie(header, "www.example.com", "/a/b?c", size % 2 == 0, now);
    Check(jar.Count() <= TCookieJar::MaxCookies);
    for (const std::string_view host : {"www.example.com", "example.com", "127.0.0.1"})
    {
        const std::string cookies = jar.CookieHeader(host, "/a/b/c", true, now);
        Check(cookies.find_first_of("\r\n") == std::string::npos);
    }

    if (CheckExtraHeader(header).empty())
        Check(header.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
              header.find(':') != std::string_view::npos);
    return 0;
}
