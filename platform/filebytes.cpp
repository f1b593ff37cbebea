#include "platform/filebytes.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/exception.h"

std::string ReadFileBytes(const std::string& fileName)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), std::fclose);
    if (!file)
        throw Exception(FileOpenErrorText(fileName, errno));
    std::string bytes;
    char buffer[1 << 16];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.append(buffer, count);
    if (std::ferror(file.get()))
        throw Exception(FileOpenErrorText(fileName, errno));
    return bytes;
}
