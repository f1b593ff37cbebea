#include "links/listfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/exception.h"
#include "platform/filebytes.h"

namespace
{
using FileHandle = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Writes the entries to path; a failure names the file as the user knows it.
void WriteEntries(const std::string& path, const std::string& shownName,
                  const std::vector<std::string>& entries)
{
    FileHandle file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file)
        throw Exception(FileOpenErrorText(shownName, errno));
    constexpr std::size_t Chunk = 1 << 20;
    std::string buffer;
    buffer.reserve(Chunk + 4096);
    const auto flush = [&]
    {
        if (std::fwrite(buffer.data(), 1, buffer.size(), file.get()) != buffer.size())
            throw Exception(FileOpenErrorText(shownName, errno));
        buffer.clear();
    };
    for (const std::string& entry : entries)
    {
        buffer += entry;
        buffer += "\r\n";
        if (buffer.size() >= Chunk)
            flush();
    }
    flush();
    if (std::fflush(file.get()) != 0 || std::fclose(file.release()) != 0)
        throw Exception(FileOpenErrorText(shownName, errno));
}
} // namespace

TListLineSplitter::TListLineSplitter(TTake take, std::size_t maxLine, std::string shownName)
    : take(std::move(take)), maxLine(maxLine), shownName(std::move(shownName))
{
}

void TListLineSplitter::Take(std::string_view piece, bool lineEnds)
{
    if (partial.size() + piece.size() > maxLine)
        throw Exception(ListLineTooLongText(shownName, lineNumber + 1, maxLine));
    if (!lineEnds)
    {
        partial.append(piece);
        return;
    }
    ++lineNumber;
    if (partial.empty())
        take(piece);
    else
    {
        partial.append(piece);
        take(partial);
        partial.clear();
    }
}

void TListLineSplitter::Feed(std::string_view bytes)
{
    if (ended)
        return;
    if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos)
    {
        bytes = bytes.substr(0, nul);
        ended = true;
    }
    if (bytes.empty())
        return;
    std::size_t start = 0;
    // The LF of a CR LF pair cut between two pieces.
    if (afterCR && bytes.front() == '\n')
        start = 1;
    afterCR = false;
    // The next CR and the next LF are each looked for once per line they end, with memchr, so a
    // long file is scanned at memory speed.
    const char* const text = bytes.data();
    const std::size_t size = bytes.size();
    const auto next = [text, size](char c, std::size_t from)
    {
        const void* found = std::memchr(text + from, c, size - from);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : size;
    };
    std::size_t cr = next('\r', start);
    std::size_t lf = next('\n', start);
    while (start < size)
    {
        if (cr < start)
            cr = next('\r', start);
        if (lf < start)
            lf = next('\n', start);
        std::size_t end = std::min(cr, lf);
        if (end == size)
        {
            Take(bytes.substr(start), false);
            break;
        }
        Take(bytes.substr(start, end - start), true);
        if (end == cr && end + 1 == size)
            afterCR = true;
        else if (end == cr && end + 1 == lf)
            ++end;
        start = end + 1;
    }
}

void TListLineSplitter::Finish()
{
    if (partial.empty())
        return;
    ++lineNumber;
    take(partial);
    partial.clear();
}

std::string ListLineTooLongText(const std::string& fileName, std::size_t lineNumber, std::size_t maxLine)
{
    return "Line " + std::to_string(lineNumber) + " of " + fileName + " is longer than " +
           std::to_string(maxLine) + " bytes";
}

void ReadListLines(const std::string& fileName, const TListLineSplitter::TTake& take)
{
    TRegularFile file(fileName);
    TListLineSplitter splitter(take, MaxListLineBytes, fileName);
    std::vector<char> buffer(256 * 1024);
    while (!splitter.Ended())
    {
        const std::size_t count = file.Read(buffer.data(), buffer.size());
        if (count == 0)
            break;
        splitter.Feed(std::string_view(buffer.data(), count));
    }
    splitter.Finish();
}

std::vector<std::string> ParseListText(std::string_view bytes)
{
    std::vector<std::string> entries;
    TListLineSplitter splitter([&entries](std::string_view line) { entries.emplace_back(line); });
    splitter.Feed(bytes);
    splitter.Finish();
    return entries;
}

std::string ListText(const std::vector<std::string>& entries)
{
    std::string text;
    for (const std::string& entry : entries)
    {
        text += entry;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> ReadListFile(const std::string& fileName)
{
    std::vector<std::string> entries;
    ReadListLines(fileName, [&entries](std::string_view line) { entries.emplace_back(line); });
    return entries;
}

void WriteListFile(const std::string& fileName, const std::vector<std::string>& entries)
{
    WriteEntries(fileName, fileName, entries);
}

void ReplaceListFile(const std::string& fileName, const std::vector<std::string>& entries)
{
    const std::string partial = fileName + ".partial";
    try
    {
        WriteEntries(partial, fileName, entries);
    }
    catch (...)
    {
        std::remove(partial.c_str());
        throw;
    }
    if (std::rename(partial.c_str(), fileName.c_str()) != 0)
    {
        const int error = errno;
        std::remove(partial.c_str());
        throw Exception(FileOpenErrorText(fileName, error));
    }
}
