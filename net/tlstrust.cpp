#include "net/tlstrust.h"

#include <unistd.h>

#include <QFile>

#include "net/tlssession.h"
#include "platform/exception.h"
#include "platform/filebytes.h"

void TTlsTrust::AddAuthorityFile(const std::string& fileName)
{
    // Opened without waiting, so that a FIFO named by mistake fails rather than hangs.
    std::string reason;
    const int handle = OpenRegularFile(fileName, reason);
    if (handle < 0)
        throw Exception("Cannot read certificate authority file " + fileName + ": " + reason);
    QFile file;
    if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
    {
        ::close(handle);
        throw Exception("Cannot read certificate authority file " + fileName + ": " +
                        file.errorString().toStdString());
    }
    const QByteArray bytes = file.readAll();
    const QList<QByteArray> found = TTlsSession::ReadCertificates(bytes);
    if (found.isEmpty())
        throw Exception("No certificate in certificate authority file " + fileName);
    added += found;
}

QList<QByteArray> TTlsTrust::AddedAuthorities() const
{
    return added;
}
