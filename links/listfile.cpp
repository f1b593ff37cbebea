#include "links/listfile.h"

#include <cerrno>
#include <cstdio>
#include <memory>

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
    const std::string text = ListText(entries);
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() || std::fflush(file.get()) != 0)
        throw Exception(FileOpenErrorText(shownName, errno));
    if (std::fclose(file.release()) != 0)
        throw Exception(FileOpenErrorText(shownName, errno));
}
} // namespace

std::vector<std::string> ParseListText(std::string_view bytes)
{
    if (const std::size_t end = bytes.find('\0'); end != std::string_view::npos)
        bytes = bytes.substr(0, end);
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start < bytes.size())
    {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
        {
            entries.emplace_back(bytes.substr(start));
            break;
        }
        entries.emplace_back(bytes.substr(start, end - start));
        if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
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
    return ParseListText(ReadFileBytes(fileName));
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
