#include "platform/filebytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/exception.h"

namespace
{
constexpr const char* NotRegular = "not a regular file";

// The descriptor, or -1 with errno set, or -1 with errno 0 for what is no regular file.
int OpenRegular(const std::string& fileName, std::int64_t& size, bool followLink = true)
{
    const int handle = ::open(fileName.c_str(),
                              O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLink ? 0 : O_NOFOLLOW));
    if (handle < 0)
        return -1;
    struct stat status;
    const bool stated = ::fstat(handle, &status) == 0;
    if (!stated || !S_ISREG(status.st_mode))
    {
        const int error = stated ? 0 : errno;
        ::close(handle);
        errno = error;
        return -1;
    }
    size = status.st_size;
    // Reads of a regular file never wait anyway; the flag only mattered for the open.
    ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    return handle;
}
} // namespace

std::string FileTooLargeText(const std::string& fileName, std::int64_t maxBytes)
{
    return "The file " + fileName + " is larger than " + std::to_string(maxBytes) + " bytes";
}

std::string NotRegularFileText(const std::string& fileName)
{
    return fileName + " is " + NotRegular;
}

int OpenRegularFile(const std::string& fileName, std::string& reason)
{
    std::int64_t size = 0;
    const int handle = OpenRegular(fileName, size);
    if (handle < 0)
        reason = errno == 0 ? NotRegular : std::strerror(errno);
    return handle;
}

TRegularFile::TRegularFile(const std::string& fileName, bool followLink) : name(fileName)
{
    handle = OpenRegular(fileName, size, followLink);
    if (handle < 0)
        throw Exception(errno == 0 ? NotRegularFileText(fileName) : FileOpenErrorText(fileName, errno));
}

TRegularFile::~TRegularFile()
{
    if (handle >= 0)
        ::close(handle);
}

std::size_t TRegularFile::Read(char* buffer, std::size_t count)
{
    for (;;)
    {
        const ssize_t got = ::read(handle, buffer, count);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            throw Exception(FileOpenErrorText(name, errno));
    }
}

int TRegularFile::Release()
{
    const int released = handle;
    handle = -1;
    return released;
}

std::string ReadFileBytes(const std::string& fileName, std::int64_t maxBytes, bool followLink)
{
    TRegularFile file(fileName, followLink);
    if (file.Size() > maxBytes)
        throw Exception(FileTooLargeText(fileName, maxBytes));
    const auto limit = static_cast<std::size_t>(std::max<std::int64_t>(maxBytes, 0));
    // Read in one go when the size is known; keep reading in case the file grew meanwhile.
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size())
    {
        const std::size_t count = file.Read(bytes.data() + filled, bytes.size() - filled);
        if (count == 0)
            break;
        filled += count;
    }
    bytes.resize(filled);
    char buffer[1 << 16];
    std::size_t count;
    while ((count = file.Read(buffer, sizeof buffer)) > 0)
    {
        if (bytes.size() + count > limit)
            throw Exception(FileTooLargeText(fileName, maxBytes));
        bytes.append(buffer, count);
    }
    return bytes;
}
