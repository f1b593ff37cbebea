#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// How the body of an answer is framed on the connection.
struct TBodyFraming
{
    // Sent in chunks (Transfer-Encoding: chunked): the chunks' sizes and trailers are taken off.
    bool Chunked = false;
    // The announced length (Content-Length), -1 when none was announced. Bytes beyond it belong
    // to nobody.
    std::int64_t Length = -1;
};

// Takes the body out of the bytes of a connection as they arrive, by its framing: a body with
// neither a length nor chunks runs until the connection ends. A plain class over bytes, so that
// it can be tested and fuzzed alone.
class TBodyDecoder
{
  public:
    using TEmit = std::function<void(std::string_view body)>;

    // The longest chunk-size line (with its extensions) and all trailer lines together.
    static constexpr std::size_t MaxSizeLine = 4096;
    static constexpr std::size_t MaxTrailers = 1024 * 1024;

    explicit TBodyDecoder(TBodyFraming framing = {});

    // Hands the body bytes among bytes to emit; returns false once the framing is broken (see
    // Error), after which nothing more is taken.
    bool Feed(std::string_view bytes, const TEmit& emit);
    // The framing says the body is whole: its length is in, or the last chunk and its trailers.
    bool Complete() const { return state == TState::Done; }
    // Whether the end of the connection is the end of the body.
    bool EndsWithConnection() const { return !framing.Chunked && framing.Length < 0; }
    bool Chunked() const { return framing.Chunked; }
    // Why the framing is broken; empty while it holds.
    const std::string& Error() const { return error; }
    // Body bytes handed on so far.
    std::int64_t BodyBytes() const { return bodyBytes; }

  private:
    enum class TState
    {
        Body,
        SizeLine,
        ChunkData,
        ChunkEnd,
        Trailers,
        Done,
        Broken,
    };

    bool Fail(const char* reason);
    bool ChunkSize();

    TBodyFraming framing;
    TState state;
    std::int64_t remaining = 0;
    std::int64_t bodyBytes = 0;
    std::string line;
    std::size_t trailerBytes = 0;
    std::string error;
};
