// Feeds arbitrary status lines, header lines and addresses to the HTTP client's parsers and
// checks that only their documented errors come out and that what they give is sound.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <optional>
#include <string_view>

#include "net/bodydecoder.h"
#include "net/httpparse.h"
#include "net/port.h"
#include "platform/bytetext.h"
#include "platform/exception.h"

namespace
{
void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool IsInteger(std::string_view text)
{
    int value = 0;
    return httpparse::ParseInteger(text, value);
}

// "'x' is not a valid integer value" for an x that is no integer, or "Invalid port x" for an
// integer x that is no port.
bool IsPortError(const std::string& message)
{
    constexpr std::string_view conversionEnd = "' is not a valid integer value";
    if (message.size() >= 1 + conversionEnd.size() && message.front() == '\'' &&
        message.ends_with(conversionEnd))
        return !IsInteger(std::string_view(message).substr(1, message.size() - 1 - conversionEnd.size()));
    constexpr std::string_view invalid = "Invalid port ";
    if (!message.starts_with(invalid))
        return false;
    const std::string_view text = std::string_view(message).substr(invalid.size());
    return IsInteger(text) && !PortFromText(text);
}

void CheckHeaderLine(std::string_view line)
{
    const int code = httpparse::StatusCode(line);
    Check(code == 0 || (code >= 100 && code <= 599));
    const std::optional<std::int64_t> length = httpparse::ContentLength(line);
    Check(!length || *length >= 0);
    httpparse::IsChunkedEncoding(line);
    const std::string keyword = httpparse::HeaderKeyword(line);
    Check(keyword.size() <= line.size());
    for (char c : keyword)
        Check(c < 'a' || c > 'z');
    Check(httpparse::HeaderValueFrom(line, 11).size() <= line.size());
    httpparse::IsHeaderEnd(line);
    // A range is a range or nothing at all; a date is a moment or none.
    const httpparse::TContentRange range = httpparse::ParseContentRange(line);
    Check(range.First < 0 ? range.Last < 0 && range.Total < 0
                          : range.Last >= range.First && range.Total >= -1);
    httpparse::HttpDate(httpparse::HeaderLineValue(bytetext::WithoutLineEnd(line)));

    try
    {
        const int port = ParsePort(line);
        Check(port >= 1 && port <= 65535);
    }
    catch (const Exception& error)
    {
        Check(error.Message() == "Invalid port " + std::string(line));
    }
}

void CheckRequestURL(std::string_view url, std::string_view host, int port)
{
    try
    {
        const httpparse::TRequestTarget target = httpparse::ParseRequestURL(url, host, port);
        Check(target.port >= 1 && target.port <= 65535);
        Check(!target.requestPath.empty() && target.requestPath.front() == '/');
        // The path ends the URL, and goes with blanks and bytes above 0x7F as %XX.
        Check(target.url.ends_with(target.requestPath) && target.url.size() >= url.size());
        for (const char c : target.requestPath)
            Check(c != ' ' && static_cast<unsigned char>(c) < 0x80);
    }
    catch (const Exception& error)
    {
        Check((url.empty() && error.Message() == "Empty URL") ||
              (bytetext::HasControlByte(url) && error.Message() == "Invalid URL") ||
              IsPortError(error.Message()));
    }
}
// A chunked body fed in pieces of every size gives the same body and the same verdict as fed
// whole, and never more body than bytes.
void CheckChunkedBody(std::string_view input, std::size_t piece)
{
    TBodyDecoder whole(TBodyFraming{true, -1});
    std::string wholeBody;
    whole.Feed(input, [&](std::string_view body) { wholeBody.append(body); });
    TBodyDecoder pieces(TBodyFraming{true, -1});
    std::string piecesBody;
    for (std::size_t at = 0; at < input.size(); at += piece)
        pieces.Feed(input.substr(at, piece), [&](std::string_view body) { piecesBody.append(body); });
    Check(wholeBody == piecesBody);
    Check(whole.Complete() == pieces.Complete());
    Check(whole.Error() == pieces.Error());
    Check(wholeBody.size() <= input.size());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes are the port of the previous request (0 included: it becomes 80).
    const int port = (data[0] << 8 | data[1]) % 65536;
    const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);

    // Lines as ReadLn gives them: each with its line feed, the last one perhaps without.
    std::string_view lines[3];
    std::size_t count = 0;
    for (std::size_t start = 0; start < input.size();)
    {
        const std::size_t lf = input.find('\n', start);
        const std::size_t end = lf == std::string_view::npos ? input.size() : lf + 1;
        const std::string_view line = input.substr(start, end - start);
        CheckHeaderLine(line);
        if (count < 3)
            lines[count++] = bytetext::WithoutLineEnd(line);
        start = end;
    }

    CheckChunkedBody(input, 1 + port % 7);
    Check(httpparse::HeaderLineOf(input, "DATE:").size() <= input.size());
    CheckRequestURL(lines[0], lines[1], port);
    const std::string resolved = httpparse::ResolveLocation(lines[0], lines[2]);
    if (lines[2].find("://") != std::string_view::npos)
        Check(resolved == lines[2]);
    return 0;
}
