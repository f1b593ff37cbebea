#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// List files hold one entry per line, each followed by CR LF; reading also takes lone CR or
// LF as line ends and stops at a NUL byte. Entries are taken as they stand.
std::vector<std::string> ParseListText(std::string_view bytes);
std::string ListText(const std::vector<std::string>& entries);

// The longest line a list file may hold: no address comes near it, and a file of one endless
// line must not take all memory.
inline constexpr std::size_t MaxListLineBytes = 64 * 1024;

// Cuts list text, fed in pieces of any size, into its lines and hands each over in order; a
// line end or a NUL split between two pieces counts as in one piece.
class TListLineSplitter
{
  public:
    using TTake = std::function<void(std::string_view line)>;
    // A line longer than maxLine raises Exception(ListLineTooLongText(shownName, ...)).
    explicit TListLineSplitter(TTake take, std::size_t maxLine = std::string_view::npos,
                               std::string shownName = {});
    void Feed(std::string_view bytes);
    // Hands over the last line if it had no line end.
    void Finish();
    // Whether a NUL byte ended the text: what follows it is not read.
    bool Ended() const { return ended; }

  private:
    void Take(std::string_view piece, bool lineEnds);

    TTake take;
    std::size_t maxLine;
    std::string shownName;
    std::string partial; // the start of a line whose end is still to come
    bool lineOpen = false;
    bool afterCR = false;
    bool ended = false;
    std::size_t lineNumber = 0;
};

std::string ListLineTooLongText(const std::string& fileName, std::size_t lineNumber, std::size_t maxLine);

// Hands over the lines of a list file in order, reading it in pieces, so that memory holds one
// line at a time. Raises Exception as TRegularFile does (a FIFO or a device is refused at once),
// or for a line longer than MaxListLineBytes.
void ReadListLines(const std::string& fileName, const TListLineSplitter::TTake& take);

// All raise Exception with the file system's error.
std::vector<std::string> ReadListFile(const std::string& fileName);
void WriteListFile(const std::string& fileName, const std::vector<std::string>& entries);
// Writes a new file beside the old one and puts it in its place, so that a failure on the way
// leaves the old file whole.
void ReplaceListFile(const std::string& fileName, const std::vector<std::string>& entries);
