#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <QByteArray>
#include <QFile>

#include "net/bodydecoder.h"

class TStreamDigest;

// Where the body of a capture goes. The bytes of the connection come in as they arrive; the
// body is taken out of them by its framing and written to the capture file in batches. The first
// write that fails, or a framing that breaks, is kept as the capture's error, and nothing is
// written after it, so the file holds the body's beginning in order.
class TCaptureSink
{
  public:
    // Creates the file, or empties it; with appendAt 0 or more, keeps that many bytes of the
    // file and writes after them (a transfer that goes on where it stopped). Raises the
    // "Cannot create file" text when it cannot. Given a digest, every byte written also goes
    // into it, after the bytes kept.
    explicit TCaptureSink(const std::string& fileName, TBodyFraming framing = {}, std::int64_t appendAt = -1,
                          TStreamDigest* digest = nullptr);
    // What is still gathered goes to the file.
    ~TCaptureSink();
    TCaptureSink(const TCaptureSink&) = delete;
    TCaptureSink& operator=(const TCaptureSink&) = delete;

    void Receive(std::string_view bytes);
    // Writes what is gathered now.
    void Flush();
    // Why the body could not be written in full, or its framing broke; empty while all is well.
    const std::string& Error() const { return error; }
    // The framing says the body is whole.
    bool Complete() const { return decoder.Complete(); }
    const TBodyDecoder& Decoder() const { return decoder; }

  private:
    std::string fileName;
    QFile file;
    QByteArray batch;
    TBodyDecoder decoder;
    std::string error;
    TStreamDigest* digest;
};
