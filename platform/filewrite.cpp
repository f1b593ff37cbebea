#include "platform/filewrite.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>

bool OpenFileByName(QFile& file, const std::string& name, QIODevice::OpenMode mode)
{
    int flags = O_CLOEXEC;
    const bool reads = mode.testFlag(QIODevice::ReadOnly);
    const bool writes = mode.testFlag(QIODevice::WriteOnly);
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    if (writes)
        flags |= O_CREAT;
    if (writes && mode.testFlag(QIODevice::Truncate))
        flags |= O_TRUNC;
    if (mode.testFlag(QIODevice::Append))
        flags |= O_APPEND;
    const int descriptor = ::open(name.c_str(), flags, 0666);
    if (descriptor < 0)
        return false;
    if (!file.open(descriptor, mode, QFileDevice::AutoCloseHandle))
    {
        ::close(descriptor);
        errno = EINVAL;
        return false;
    }
    return true;
}

bool WriteAll(QFile& file, const char* bytes, qint64 count)
{
    qint64 written = 0;
    while (written < count)
    {
        const qint64 n = file.write(bytes + written, count - written);
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}
