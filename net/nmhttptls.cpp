// The https side of TNMHTTP: a TLS socket for every https connection, the tunnel through a
// proxy and the handshake, all with the session's waits, time-out and cancel.
#include "net/nmhttp.h"

#include <QSslSocket>

#include "net/httpparse.h"
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
    if (!secure)
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
    tlsSocket = transport;
    return transport;
}

void TNMHTTP::PrepareTransport()
{
    if (secure)
    {
        // Never a plain request in place of an https one.
        if (const std::string problem = TTlsTrust::Unavailable(); !problem.empty())
            throw ESockError(TSockReason::TlsHandshakeFailed, HandshakeFailed + problem);
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
    if (!tlsSocket)
        throw ESockError(TSockReason::TlsHandshakeFailed, std::string(HandshakeFailed) + "no TLS socket");
    tlsEncrypted = false;
    tlsError.clear();
    // The certificate must be for the host asked for; the name also goes out as the server name
    // indication. An IPv6 literal is checked against the certificate's IP address, unbracketed.
    tlsSocket->setPeerVerifyName(QString::fromStdString(std::string(httpparse::HostWithoutBrackets(Host))));
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
