#include "net/tlstrust.h"

#include <unistd.h>

#include <QFile>
#include <QSslSocket>

#include "net/tlssession.h"
#include "platform/exception.h"
#include "platform/filebytes.h"

std::string TTlsTrust::Unavailable()
{
    // availableBackends() asks quietly; supportsSsl() alone would warn on the console first.
    if (QSslSocket::availableBackends().isEmpty() || !QSslSocket::supportsSsl())
        return "Qt Network has no TLS backend (its openssl plugin, tls/libqopensslbackend.so, is missing "
               "or cannot load libssl)";
    return {};
}

void TTlsTrust::AddAuthorityFile(const std::string& fileName)
{
    // Certificates are read by the TLS backend too.
    if (const std::string problem = Unavailable(); !problem.empty())
        throw Exception("Cannot read certificate authority file " + fileName + ": " + problem);
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
    // OpenSSL reads them in far less memory than Qt's certificate classes, where it can.
    QList<QByteArray> found = TTlsSession::ReadCertificates(bytes);
    if (found.isEmpty())
    {
        QList<QSslCertificate> certificates = QSslCertificate::fromData(bytes, QSsl::Pem);
        if (certificates.isEmpty())
            certificates = QSslCertificate::fromData(bytes, QSsl::Der);
        for (const QSslCertificate& certificate : certificates)
            found.append(certificate.toDer());
    }
    if (found.isEmpty())
        throw Exception("No certificate in certificate authority file " + fileName);
    added += found;
    trusted.clear();
}

QList<QByteArray> TTlsTrust::AddedAuthorities() const
{
    return added;
}

QSslConfiguration TTlsTrust::Configuration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (AcceptAnyCertificate)
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    else
    {
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        // Naming authorities ends the backend's lookup of the system's on demand, so those are
        // named as well; read only when needed, as they take some memory.
        if (!added.isEmpty() && trusted.isEmpty())
        {
            trusted = QSslConfiguration::systemCaCertificates();
            for (const QByteArray& der : added)
                trusted.append(QSslCertificate(der, QSsl::Der));
        }
        if (!added.isEmpty())
            configuration.setCaCertificates(trusted);
    }
    return configuration;
}
