#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The HTTP client's parsing of addresses, status lines and header lines: plain functions over
// bytes, without sockets, so that they can be tested and fuzzed alone.
namespace httpparse
{
// What a request URL sets: the URL as it will be kept, the path for the request line, the
// host and the port.
struct TRequestTarget
{
    std::string url;
    std::string requestPath;
    std::string host;
    int port = 0;
};

// Splits url as the client does. host and port are those of the previous request: a URL
// without a host part keeps the host, one without ":" keeps the port (0 becomes 80). The
// scheme "https" gives the port 443.
// The path goes with blanks and bytes above 0x7F as %XX.
// Raises Exception "Empty URL", "Invalid URL" for one holding a control byte (a CR LF in it
// would start a header line of its own), the integer conversion error for a port that is no
// number, or "Invalid port N" for a number outside 1..65535.
TRequestTarget ParseRequestURL(std::string_view url, std::string_view host, int port);

// Whether a request for url goes over TLS: it does when url begins with "https://" in any
// letter case. A URL without a host part ("/dir/file") goes to the server of the previous
// request, and the way it was reached: previous.
bool UsesTls(std::string_view url, bool previous);

// A redirect target (a Location value) resolved against the address it answered:
// "/x" keeps scheme, host and port of base, "x" also its folder, "//h/x" its scheme.
// A target with a scheme, or a base without one, comes back unchanged.
std::string ResolveLocation(std::string_view base, std::string_view location);

// The code of a status line: its second blank-separated field as a number in 100..599, 0 when
// that is no such number. The line end does not count as part of the field.
std::int16_t StatusCode(std::string_view line);

// A status line as a message may quote it: without its line end, other control bytes shown as
// '?', and at most 160 bytes.
std::string StatusLineText(std::string_view line);

// Whether an answer with this code brings a body: none answers a HEAD, whatever its header
// announces, and none comes with 1xx, 204 or 304.
bool HasBody(int code, bool head);

// Whether an answer with this code sends the client elsewhere: a 3xx, except 304, which only
// says that the client's copy is current.
bool IsRedirect(int code);

// The Host header's value for a request to host at port: the port is named unless it is the
// scheme's default (80, or 443 over TLS).
std::string HostField(std::string_view host, int port, bool tls);

// A host as the system's resolver takes it: an IPv6 literal without the brackets that set it
// apart in an address ("[::1]" gives "::1"); any other host unchanged.
std::string_view HostWithoutBrackets(std::string_view host);

// Cuts "host", "host:port", "[v6]" or "[v6]:port" at the colon before the port: the host keeps
// its brackets, and the port is what follows that colon (hasPort false when there is none).
void SplitHostPort(std::string_view text, std::string_view& host, std::string_view& port, bool& hasPort);

// The first blank-separated field of a header line in upper case ("CONTENT-LENGTH:").
std::string HeaderKeyword(std::string_view line);

// The line from its position-th character (counting from 1) on, without its line end.
std::string HeaderValueFrom(std::string_view line, std::size_t position);

// The length announced by a Content-Length line: its value must be digits alone (blanks around
// them allowed) that fit 63 bits; anything else (a sign, an exponent, a second number, nothing
// at all) gives no length.
std::optional<std::int64_t> ContentLength(std::string_view line);

// The part a Content-Range line names ("bytes START-END/TOTAL"): start and total, each -1 when
// the line does not give it as a plain number ("*" for an unknown total).
void ContentRange(std::string_view line, std::int64_t& start, std::int64_t& total);

// The same line whole: its first and last byte (both -1 unless they are plain numbers with
// first <= last) and the total (-1 when it is no plain number).
struct TContentRange
{
    std::int64_t First = -1;
    std::int64_t Last = -1;
    std::int64_t Total = -1;
};
TContentRange ParseContentRange(std::string_view line);

// The last line of a response header text whose keyword (as HeaderKeyword gives it) is keyword,
// without its line end; empty when there is none. A later line wins, as it does for the client.
std::string_view HeaderLineOf(std::string_view header, std::string_view keyword);

// The value of such a line: what follows its first colon, trimmed.
std::string_view HeaderLineValue(std::string_view line);

// The moment an HTTP date names, in seconds since 1970 UTC: "Sun, 06 Nov 1994 08:49:37 GMT",
// the obsolete "Sunday, 06-Nov-94 08:49:37 GMT" and asctime's "Sun Nov  6 08:49:37 1994".
// Nothing for any other text.
std::optional<std::int64_t> HttpDate(std::string_view text);

// Whether a Transfer-Encoding line ends its codings with "chunked" (in any letter case).
bool IsChunkedEncoding(std::string_view line);

// The tokens of a Connection header line (or a proxy's Proxy-Connection line) in upper case,
// each followed by a comma; empty for any other line.
std::string ConnectionTokens(std::string_view line);

// Whether the connection may carry another request after the answer whose status line and
// Connection tokens are given: an HTTP/1.1 answer keeps it unless it says "close", an HTTP/1.0
// answer only when it says "keep-alive", anything else never.
bool KeepsConnection(std::string_view statusLine, std::string_view connectionTokens);

// The blank line that ends a header: only LF, or CR LF.
bool IsHeaderEnd(std::string_view line);

// A whole decimal number (with optional sign) that fits 32 bits, as the integer conversion of
// the component library reads it; nothing else counts as a number.
bool ParseInteger(std::string_view text, int& value);
} // namespace httpparse
