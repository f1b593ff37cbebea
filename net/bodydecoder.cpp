#include "net/bodydecoder.h"

#include <algorithm>

#include "platform/bytetext.h"

namespace
{
constexpr std::int64_t MaxChunkSize = (std::int64_t{1} << 60) - 1;
} // namespace

TBodyDecoder::TBodyDecoder(TBodyFraming framing)
    : framing(framing), state(framing.Chunked ? TState::SizeLine : TState::Body), remaining(framing.Length)
{
    if (!framing.Chunked && framing.Length == 0)
        state = TState::Done;
}

bool TBodyDecoder::Fail(const char* reason)
{
    state = TState::Broken;
    error = reason;
    return false;
}

bool TBodyDecoder::ChunkSize()
{
    // Hex digits, then perhaps blanks and ";extensions", which mean nothing here.
    std::size_t i = 0;
    std::int64_t size = 0;
    for (; i < line.size(); ++i)
    {
        const int digit = bytetext::HexDigitValue(line[i]);
        if (digit < 0)
            break;
        if (size > (MaxChunkSize >> 4))
            return Fail("Bad chunk size");
        size = size * 16 + digit;
    }
    if (i == 0 || (i < line.size() && line[i] != ';' && line[i] != ' ' && line[i] != '\t'))
        return Fail("Bad chunk size");
    line.clear();
    remaining = size;
    state = size == 0 ? TState::Trailers : TState::ChunkData;
    return true;
}

bool TBodyDecoder::Feed(std::string_view bytes, const TEmit& emit)
{
    while (!bytes.empty())
    {
        switch (state)
        {
        case TState::Done:
            return true;
        case TState::Broken:
            return false;
        case TState::Body:
        {
            const std::size_t take =
                remaining < 0 ? bytes.size()
                              : static_cast<std::size_t>(std::min<std::int64_t>(remaining, bytes.size()));
            emit(bytes.substr(0, take));
            bodyBytes += static_cast<std::int64_t>(take);
            bytes.remove_prefix(take);
            if (remaining > 0 && (remaining -= static_cast<std::int64_t>(take)) == 0)
                state = TState::Done;
            break;
        }
        case TState::ChunkData:
        {
            const auto take = static_cast<std::size_t>(std::min<std::int64_t>(remaining, bytes.size()));
            emit(bytes.substr(0, take));
            bodyBytes += static_cast<std::int64_t>(take);
            bytes.remove_prefix(take);
            if ((remaining -= static_cast<std::int64_t>(take)) == 0)
                state = TState::ChunkEnd;
            break;
        }
        case TState::ChunkEnd:
            // The CR LF after a chunk's data (a bare LF is taken too).
            if (bytes.front() == '\r' && line.empty())
                line = "\r";
            else if (bytes.front() == '\n')
            {
                line.clear();
                state = TState::SizeLine;
            }
            else
                return Fail("Bad chunked body");
            bytes.remove_prefix(1);
            break;
        case TState::SizeLine:
        case TState::Trailers:
        {
            const std::size_t lineEnd = bytes.find('\n');
            const std::string_view part =
                bytes.substr(0, lineEnd == std::string_view::npos ? bytes.size() : lineEnd);
            line.append(part);
            if (state == TState::SizeLine && line.size() > MaxSizeLine)
                return Fail("Bad chunk size");
            if (state == TState::Trailers && (trailerBytes += part.size() + 1) > MaxTrailers)
                return Fail("Bad chunked body");
            if (lineEnd == std::string_view::npos)
                return true;
            bytes.remove_prefix(lineEnd + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (state == TState::SizeLine)
            {
                if (!ChunkSize())
                    return false;
            }
            else if (line.empty())
                state = TState::Done;
            else
                line.clear();
            break;
        }
        }
    }
    return state != TState::Broken;
}
