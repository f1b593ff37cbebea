#include "net/tlstrust.h"

#include <unistd.h>

#include <QFile>
#include <QSslSocket>

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
    QList<QSslCertificate> found = QSslCertificate::fromData(bytes, QSsl::Pem);
    if (found.isEmpty())
        found = QSslCertificate::fromData(bytes, QSsl::Der);
    if (found.isEmpty())
        throw Exception("No certificate in certificate authority file " + fileName);
    // Naming authorities ends the backend's lookup of the system's on demand, so those are
    // named as well.
    if (trusted.isEmpty())
        trusted = QSslConfiguration::systemCaCertificates();
    trusted += found;
}

QSslConfiguration TTlsTrust::Configuration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (AcceptAnyCertificate)
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    else
    {
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!trusted.isEmpty())
            configuration.setCaCertificates(trusted);
    }
    return configuration;
}
