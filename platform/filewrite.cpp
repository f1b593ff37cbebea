#include "platform/filewrite.h"

#include <QFile>

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
