#include "platform/filebytes.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include <sys/stat.h>

#include "platform/exception.h"

std::string ReadFileBytes(const std::string& fileName)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), std::fclose);
    if (!file)
        throw Exception(FileOpenErrorText(fileName, errno));
    // Read in one go when the size is known; keep reading in case the file grew meanwhile.
    std::string bytes;
    struct stat status;
    if (fstat(fileno(file.get()), &status) == 0 && S_ISREG(status.st_mode))
        bytes.resize(static_cast<std::size_t>(status.st_size));
    std::size_t filled = std::fread(bytes.data(), 1, bytes.size(), file.get());
    bytes.resize(filled);
    char buffer[1 << 16];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.append(buffer, count);
    if (std::ferror(file.get()))
        throw Exception(FileOpenErrorText(fileName, errno));
    return bytes;
}
