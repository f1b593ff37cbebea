#include "scriptedtlsserver.h"

#include <sys/socket.h>

#include <QFile>
#include <QNetworkProxy>
#include <QSslSocket>
#include <QTimer>

namespace
{
QByteArray ReadAll(const std::string& fileName)
{
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("scripted TLS server cannot read %s", fileName.c_str());
    return file.readAll();
}
} // namespace

ScriptedTlsServer::ScriptedTlsServer(const std::string& certificateFile, const std::string& keyFile)
    : certificate(ReadAll(certificateFile), QSsl::Pem), key(ReadAll(keyFile), QSsl::Ec, QSsl::Pem)
{
    if (certificate.isNull() || key.isNull())
        qFatal("scripted TLS server: no certificate or key");
    setProxy(QNetworkProxy::NoProxy);
    if (!listen(QHostAddress::LocalHost, 0))
        qFatal("scripted TLS server cannot listen: %s", qPrintable(errorString()));
}

void ScriptedTlsServer::Answer(std::string bytes, Ending how)
{
    reply = std::move(bytes);
    ending = how;
}

std::string ScriptedTlsServer::Url(const std::string& path) const
{
    return "https://127.0.0.1:" + std::to_string(serverPort()) + path;
}

void ScriptedTlsServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    socket->setSocketDescriptor(descriptor);
    socket->setLocalCertificate(certificate);
    socket->setPrivateKey(key);
    auto* request = new QByteArray;
    connect(socket, &QObject::destroyed, [request] { delete request; });
    connect(socket, &QIODevice::readyRead, this,
            [this, socket, request]
            {
                const bool complete = request->contains("\r\n\r\n");
                request->append(socket->readAll());
                if (!complete && request->contains("\r\n\r\n"))
                {
                    requests.push_back(request->left(request->indexOf("\r\n\r\n") + 4).toStdString());
                    Reply(socket);
                }
            });
    socket->startServerEncryption();
}

void ScriptedTlsServer::Reply(QSslSocket* socket)
{
    ++answered;
    socket->write(reply.data(), static_cast<qint64>(reply.size()));
    if (ending == Ending::CloseNotify)
    {
        // Qt sends close_notify first, then closes once everything has gone.
        socket->disconnectFromHost();
        return;
    }
    EndWhenSent(socket);
}

void ScriptedTlsServer::EndWhenSent(QSslSocket* socket)
{
    socket->flush();
    if (socket->bytesToWrite() > 0 || socket->encryptedBytesToWrite() > 0)
    {
        QTimer::singleShot(1, this, [this, socket] { EndWhenSent(socket); });
        return;
    }
    if (ending == Ending::Reset)
    {
        const linger now{1, 0};
        setsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    // Closes the connection without a word of TLS.
    socket->abort();
    socket->deleteLater();
}
