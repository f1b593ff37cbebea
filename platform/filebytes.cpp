#include "platform/filebytes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include <sys/stat.h>

#include "platform/exception.h"

std::string FileTooLargeText(const std::string& fileName, std::int64_t maxBytes)
{
    return "The file " + fileName + " is larger than " + std::to_string(maxBytes) + " bytes";
}

std::string ReadFileBytes(const std::string& fileName, std::int64_t maxBytes)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), std::fclose);
    if (!file)
        throw Exception(FileOpenErrorText(fileName, errno));
    const auto limit = static_cast<std::size_t>(std::max<std::int64_t>(maxBytes, 0));
    // Read in one go when the size is known; keep reading in case the file grew meanwhile.
    std::string bytes;
    struct stat status;
    if (fstat(fileno(file.get()), &status) == 0 && S_ISREG(status.st_mode))
    {
        if (status.st_size > maxBytes)
            throw Exception(FileTooLargeText(fileName, maxBytes));
        bytes.resize(static_cast<std::size_t>(status.st_size));
    }
    std::size_t filled = std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(filled);
    char buffer[1 << 16];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
    {
        if (bytes.size() + count > limit)
            throw Exception(FileTooLargeText(fileName, maxBytes));
        bytes.append(buffer, count);
    }
    if (std::ferror(file.get()))
        throw Exception(FileOpenErrorText(fileName, errno));
    return bytes;
}
