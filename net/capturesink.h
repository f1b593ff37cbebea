#pragma once

#include <string>
#include <string_view>

#include <QByteArray>
#include <QFile>

// Where the body of a capture goes. Body bytes come in as they arrive and are written to the
// capture file in batches; the first write that fails is kept as the capture's error, and
// nothing is written after it, so the file holds the body's beginning in order.
class TCaptureSink
{
  public:
    // Creates the file, or empties it; raises the "Cannot create file" text when it cannot.
    explicit TCaptureSink(const std::string& fileName);
    // What is still gathered goes to the file.
    ~TCaptureSink();
    TCaptureSink(const TCaptureSink&) = delete;
    TCaptureSink& operator=(const TCaptureSink&) = delete;

    void Receive(std::string_view bytes);
    // Writes what is gathered now.
    void Flush();
    // Why the body could not be written in full; empty while all is well.
    const std::string& Error() const { return error; }

  private:
    std::string fileName;
    QFile file;
    QByteArray batch;
    std::string error;
};
