#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The most a file that is read whole may hold: a list file or a page, whose contents are kept
// in memory at once.
inline constexpr std::int64_t MaxWholeFileBytes = std::int64_t{1} << 30;

// A file that is read from start to end. Opening never waits (a FIFO without a writer would
// block for ever) and refuses anything but a regular file, so a device or a FIFO named by
// mistake, or on purpose, fails at once. Raises Exception with the file system's error, or
// "NAME is not a regular file". Without followLink a symbolic link is refused as well (the
// system's error for it), for files whose name only this program should have made.
class TRegularFile
{
  public:
    explicit TRegularFile(const std::string& fileName, bool followLink = true);
    ~TRegularFile();
    TRegularFile(const TRegularFile&) = delete;
    TRegularFile& operator=(const TRegularFile&) = delete;

    // Up to size bytes into buffer; 0 at the end. Raises Exception on a read error.
    std::size_t Read(char* buffer, std::size_t size);
    // The size when opened.
    std::int64_t Size() const { return size; }
    // Gives up the descriptor to the caller, who closes it.
    int Release();

  private:
    std::string name;
    int handle = -1;
    std::int64_t size = 0;
};

// Opens a file as TRegularFile does, for a caller that reads it otherwise: returns the descriptor,
// or -1 with the reason ("not a regular file", or the file system's error).
int OpenRegularFile(const std::string& fileName, std::string& reason);

// The whole content of a file; raises Exception as TRegularFile does, or
// "The file NAME is larger than N bytes" when it holds more than maxBytes.
std::string ReadFileBytes(const std::string& fileName, std::int64_t maxBytes = MaxWholeFileBytes,
                          bool followLink = true);

// The text of a file too large to be read whole.
std::string FileTooLargeText(const std::string& fileName, std::int64_t maxBytes);
std::string NotRegularFileText(const std::string& fileName);
