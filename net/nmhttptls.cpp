// The https side of TNMHTTP: a TLS session on every https connection, the tunnel through a
// proxy and the handshake, all with the session's waits, time-out and cancel.
#include "net/nmhttp.h"

#include <QPointer>

#include "net/httpparse.h"
#include "net/tlssession.h"
#include "platform/bytetext.h"

namespace
{
constexpr const char* HandshakeFailed = "TLS handshake failed: ";

// A host that would end the CONNECT line early, or add a line of its own to it.
bool FitsRequestLine(const std::string& text)
{
    for (const char c : text)
        if (bytetext::IsBlankOrControl(c) || c == 0x7F)
            return false;
    return !text.empty();
}
} // namespace

void TNMHTTP::PrepareTransport()
{
    if (!secure)
        return;
    // A fresh socket, whose connection the TLS session takes over once it stands.
    AdoptSocket(CreateSocket());
}

TTask<bool> TNMHTTP::OpenSecureSessionAsync()
{
    if (!secure)
        co_return true;
    SetStep(THttpStep::Tls);
    if (!Proxy.empty())
    {
        const bool tunnel = co_await OpenTunnelAsync();
        if (!tunnel)
            co_return false;
    }
    co_await HandshakeAsync();
    co_return true;
}

TTask<bool> TNMHTTP::OpenTunnelAsync()
{
    ReportStatus(8, "Opening Tunnel");
    if (!FitsRequestLine(Host))
        throw ESockError("Invalid host name");
    const std::string place = Host + ":" + std::to_string(Port);
    std::string request = "CONNECT " + place + " HTTP/1.0\r\nHost: " + place + "\r\n";
    // The proxy may refuse a client that does not say what it is; the extra headers are the
    // site's and stay inside the tunnel.
    if (!HeaderInfo.LocalProgram.empty())
    {
        if (bytetext::HasControlByte(HeaderInfo.LocalProgram))
            throw Exception("Invalid User-Agent");
        request += "User-Agent: " + HeaderInfo.LocalProgram + "\r\n";
    }
    // The proxy's login is for the proxy: it goes with the CONNECT, never through the tunnel.
    if (const int line = HeaderList.IndexOfHeader("Proxy-authorization"); line >= 0)
    {
        request += HeaderList[static_cast<std::size_t>(line)] + "\r\n";
        HeaderList.Delete(static_cast<std::size_t>(line));
    }
    co_await SendBytesAsync(request + "\r\n");
    // The proxy's answer is about the tunnel, never the server's: whatever it names (a place to
    // go, a cookie, a version of the file) is dropped, and the address asked for stays.
    const std::string asked = URL;
    co_await ReadResponseHeaderAsync();
    URL = asked;
    SetCookieValue.clear();
    setCookies.clear();
    said = THttpAnswer{};
    // Only a request for the proxy's login is an answer the caller acts on.
    if (ReplyCode == 407)
        co_return false;
    if (ReplyCode < 200 || ReplyCode > 299)
        throw ESockError(TSockReason::ProxyRefusedTunnel,
                         "Proxy " + Proxy + ":" + std::to_string(ProxyPort) +
                             " refused the tunnel: " + httpparse::StatusLineText(statusLine));
    ReplyCode = 0;
    // The server speaks only after the client's first TLS message: whatever the proxy sent
    // beyond its answer belongs to nobody.
    ClearReceiveBuffer();
    co_return true;
}

TTask<void> TNMHTTP::HandshakeAsync()
{
    ReportStatus(8, "TLS Handshake");
    // A proxy may close the tunnel at once.
    if (!IsConnected())
        throw ESockError(TSockReason::TlsHandshakeFailed,
                         std::string(HandshakeFailed) + "The remote host closed the connection");
    const QPointer<TTlsSession> session = RunTlsDirectly();
    if (!session)
        throw ESockError(TSockReason::TlsHandshakeFailed,
                         std::string(HandshakeFailed) + "the connection cannot be taken over for TLS");
    try
    {
        session->StartHandshake(Trust, std::string(httpparse::HostWithoutBrackets(Host)), Port);
    }
    catch (const Exception& error)
    {
        throw ESockError(TSockReason::TlsHandshakeFailed, HandshakeFailed + error.Message());
    }
    const TWaitEnd end = co_await Until(
        [&session] { return !session || session->Established() || !session->HandshakeError().empty(); },
        {.timed = true});
    if (end == TWaitEnd::TimedOut)
        throw ESockError(TSockReason::ConnectionTimedOut, "Connection Timed out");
    if (end == TWaitEnd::Canceled)
        throw ESockError(TSockReason::ConnectionCanceled, "Connection Canceled");
    if (session && session->Established())
        co_return;
    throw ESockError(TSockReason::TlsHandshakeFailed,
                     HandshakeFailed + (session ? session->HandshakeError() : "the connection was closed"));
}
