// The https side of TNMHTTP: a TLS socket for every https connection, the tunnel through a
// proxy and the handshake, all with the session's waits, time-out and cancel.
#include "net/nmhttp.h"

#include <QPointer>
#include <QSslSocket>

#include "net/httpparse.h"
#include "net/tlssession.h"
#include "platform/bytetext.h"

namespace
{
constexpr const char* HandshakeFailed = "TLS handshake failed: ";

// Below the allocator's threshold for mapping fresh pages.
constexpr qint64 TlsReadBufferSize = 64 * 1024;

// A host that would end the CONNECT line early, or add a line of its own to it.
bool FitsRequestLine(const std::string& text)
{
    for (const char c : text)
        if (bytetext::IsBlankOrControl(c) || c == 0x7F)
            return false;
    return !text.empty();
}
} // namespace

QTcpSocket* TNMHTTP::CreateSocket()
{
    if (!secure || directTls)
        return TPowersock::CreateSocket();
    auto* transport = new QSslSocket();
    transport->setSslConfiguration(Trust.Configuration());
    connect(transport, &QSslSocket::encrypted, this,
            [this, transport]
            {
                if (transport == tlsSocket)
                    tlsEncrypted = true;
            });
    // Connected before the session's own handler, so the reason is known when the session hears
    // of the failure. An untrusted certificate is one of them: Qt ends the handshake for it.
    connect(transport, &QAbstractSocket::errorOccurred, this,
            [this, transport]
            {
                if (transport == tlsSocket && !tlsEncrypted && tlsError.empty())
                    tlsError = transport->errorString().toStdString();
            });
    // Qt reports a close_notify as it does a bare close of the connection; only the alert
    // tells them apart.
    connect(transport, &QSslSocket::alertReceived, this,
            [this, transport](QSsl::AlertLevel, QSsl::AlertType type, const QString&)
            {
                if (transport == tlsSocket && type == QSsl::AlertType::CloseNotify)
                    tlsCloseNotified = true;
            });
    tlsSocket = transport;
    return transport;
}

bool TNMHTTP::EndedWithoutCloseNotify() const
{
    return tlsSocket && tlsEncrypted && !tlsCloseNotified;
}

void TNMHTTP::PrepareTransport()
{
    if (secure)
    {
        // Never a plain request in place of an https one.
        if (const std::string problem = TTlsTrust::Unavailable(); !problem.empty())
            throw ESockError(TSockReason::TlsHandshakeFailed, HandshakeFailed + problem);
        directTls = DirectTls && TTlsSession::Unavailable().empty();
        if (directTls)
        {
            tlsSocket = nullptr;
            AdoptSocket(CreateSocket());
            return;
        }
        AdoptSocket(CreateSocket());
        // Qt's TLS backend copies everything waiting in the socket's buffer into a fresh buffer
        // on every round; kept small, that buffer comes from memory the allocator has at hand
        // instead of new pages each time, which made large downloads several times slower.
        tlsSocket->setReadBufferSize(TlsReadBufferSize);
    }
    else if (tlsSocket)
    {
        tlsSocket = nullptr;
        AdoptSocket(CreateSocket());
    }
}

bool TNMHTTP::OpenSecureSession()
{
    if (!secure)
        return true;
    if (!Proxy.empty() && !OpenTunnel())
        return false;
    Handshake();
    return true;
}

bool TNMHTTP::OpenTunnel()
{
    ReportStatus(8, "Opening Tunnel");
    if (!FitsRequestLine(Host))
        throw ESockError("Invalid host name");
    const std::string place = Host + ":" + std::to_string(Port);
    std::string request = "CONNECT " + place + " HTTP/1.0\r\nHost: " + place + "\r\n";
    // The proxy's login is for the proxy: it goes with the CONNECT, never through the tunnel.
    if (const int line = HeaderList.IndexOfHeader("Proxy-authorization"); line >= 0)
    {
        request += HeaderList[static_cast<std::size_t>(line)] + "\r\n";
        HeaderList.Delete(static_cast<std::size_t>(line));
    }
    SendBytes(request + "\r\n");
    ReadResponseHeader();
    if (ReplyCode < 200 || ReplyCode > 299)
        return false;
    ReplyCode = 0;
    // The server speaks only after the client's first TLS message: whatever the proxy sent
    // beyond its answer belongs to nobody.
    ClearReceiveBuffer();
    return true;
}

void TNMHTTP::Handshake()
{
    ReportStatus(8, "TLS Handshake");
    if (directTls)
    {
        HandshakeDirectly();
        return;
    }
    if (!tlsSocket)
        throw ESockError(TSockReason::TlsHandshakeFailed, std::string(HandshakeFailed) + "no TLS socket");
    tlsEncrypted = false;
    tlsCloseNotified = false;
    tlsError.clear();
    // The certificate must be for the host asked for; the name also goes out as the server name
    // indication. An IPv6 literal is checked against the certificate's IP address, unbracketed.
    tlsSocket->setPeerVerifyName(QString::fromStdString(std::string(httpparse::HostWithoutBrackets(Host))));
    // Records go out when written, as on the direct path.
    tlsSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    tlsSocket->startClientEncryption();
    const TWaitEnd end =
        WaitUntil([this] { return tlsEncrypted || !tlsError.empty() || !IsConnected(); }, {.timed = true});
    if (end == TWaitEnd::TimedOut)
        throw ESockError(TSockReason::ConnectionTimedOut, "Connection Timed out");
    if (end == TWaitEnd::Canceled)
        throw ESockError(TSockReason::ConnectionCanceled, "Connection Canceled");
    if (tlsEncrypted && IsConnected())
        return;
    if (tlsError.empty())
        tlsError = tlsSocket ? tlsSocket->errorString().toStdString() : "the connection was closed";
    throw ESockError(TSockReason::TlsHandshakeFailed, HandshakeFailed + tlsError);
}

void TNMHTTP::HandshakeDirectly()
{
    // A proxy may close the tunnel at once.
    if (!IsConnected())
        throw ESockError(TSockReason::TlsHandshakeFailed,
                         std::string(HandshakeFailed) + "The remote host closed the connection");
    const QPointer<TTlsSession> session = RunTlsDirectly();
    if (!session)
        throw ESockError(TSockReason::TlsHandshakeFailed,
                         std::string(HandshakeFailed) +
                             "the connection cannot be taken over from Qt's socket");
    try
    {
        session->StartHandshake(Trust, std::string(httpparse::HostWithoutBrackets(Host)));
    }
    catch (const Exception& error)
    {
        throw ESockError(TSockReason::TlsHandshakeFailed, HandshakeFailed + error.Message());
    }
    const TWaitEnd end = WaitUntil(
        [&session] { return !session || session->Established() || !session->HandshakeError().empty(); },
        {.timed = true});
    if (end == TWaitEnd::TimedOut)
        throw ESockError(TSockReason::ConnectionTimedOut, "Connection Timed out");
    if (end == TWaitEnd::Canceled)
        throw ESockError(TSockReason::ConnectionCanceled, "Connection Canceled");
    if (session && session->Established())
        return;
    throw ESockError(TSockReason::TlsHandshakeFailed,
                     HandshakeFailed + (session ? session->HandshakeError() : "the connection was closed"));
}
