#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/cookiejar.h"
#include "net/exstringlist.h"
#include "net/httpanswer.h"
#include "net/powersock.h"
#include "net/tlstrust.h"

class QTimer;

// The request kinds.
enum class CmdType : int
{
    CmdGet = 0,
    CmdOptions = 1,
    CmdHead = 2,
    CmdPost = 3,
    CmdPut = 4,
    CmdPatch = 5,
    CmdCopy = 6,
    CmdMove = 7,
    CmdDelete = 8,
    CmdLink = 9,
    CmdUnlink = 10,
    CmdTrace = 11
};

// How each request kind is sent.
struct TCmdTypeInfo
{
    std::string_view keyword;     // request keyword with its trailing blank
    std::string_view extraHeader; // "URI-header: " or "Link: " carrying ExtraHeaderValue, or empty
    bool contentLength;           // a Content-Length line is sent
    bool bodySent;                // SendData (or the file it names) follows the header
};

// The row of the table for kind, or nullptr for a value outside it.
const TCmdTypeInfo* CmdTypeInfo(CmdType kind);

// Header values every request carries when they are not empty.
struct THeaderInfo
{
    std::string LocalMailAddress; // sent as "From"
    std::string LocalProgram;     // sent as "User-Agent"
    std::string Cookie;
    std::string Referer;
    std::string UserId;
    std::string Password;
};

// Where a request stands. Idle before the first, Done after each.
enum class THttpStep
{
    Idle,
    Resolve,
    Connect,
    Tls,
    Request,
    Header,
    Body,
    Done
};

// The HTTP/1.1 client: a connection is kept for the next request to the same scheme, host, port
// and proxy while the server allows it, and closed after 15 s without a request; a body ends at
// its length, its last chunk or the connection's end (an answer to HEAD, or one with 1xx, 204
// or 304, ends with its header); redirects are followed by the client itself unless an
// OnRedirect handler takes them over.
// HeaderInfo's UserId and Password go only to the server of the address the outermost request
// call was made for; the cookies servers set go back only where their domain, path and Secure
// flag let them (see TCookieJar).
// An "https://" address is fetched over TLS, through a proxy in a tunnel opened with CONNECT.
class TNMHTTP : public TPowersock
{
    Q_OBJECT

  public:
    using TResultEvent = std::function<void(CmdType cmd)>;

    // A kept connection that no request has used for this long is closed.
    static constexpr int KeptIdleMilliseconds = 15000;
    // Redirects followed in one call before it gives up.
    static constexpr int MaxRedirects = 20;

    explicit TNMHTTP(QObject* owner = nullptr);

    // Properties.
    std::string Body = "Default.htm";
    std::string Header = "Head.txt";
    THeaderInfo HeaderInfo;
    bool InputFileMode = false;
    bool OutputFileMode = false;

    // Events.
    TNotifyEvent OnAboutToSend;
    TResultEvent OnSuccess;
    TResultEvent OnFailure;
    THandlerEvent OnRedirect;
    TNotifyEvent OnAuthenticationNeeded;
    // The header of a final answer has been read, given as the answer so far; its body follows.
    std::function<void(const THttpAnswer& answer)> OnResponseHeader;
    // The request has moved to another step.
    TNotifyEvent OnStep;

    // Public state.
    std::string URL;
    std::string RequestPath;
    std::string SendData;
    std::string ExtraHeaderValue;
    // The last Set-Cookie line's value of the answer just read.
    std::string SetCookieValue;
    // "Name: value" lines added to every request to the server (not to a proxy's CONNECT: they
    // may carry the site's secrets). Each must pass CheckExtraHeader, or the request is refused.
    std::vector<std::string> ExtraHeaders;
    // The request under way (or the last one): its address as sent, and its scheme, host and
    // port as OriginOf gives them. Set before OnAboutToSend; kept for OnRedirect and
    // OnAuthenticationNeeded.
    std::string RequestURL;
    std::string Origin;
    // A transfer that goes on: with RangeFrom above 0, GET asks for the file from that byte on,
    // only if it is still the version RangeValidator names (If-Range). The body is added to the
    // body file's first RangeFrom bytes only when the answer is that part of a file of
    // RangeTotal bytes (-1: any); any other answer replaces the body file as usual.
    std::int64_t RangeFrom = 0;
    std::string RangeValidator;
    std::int64_t RangeTotal = -1;
    // The answer just read is the part of the file that RangeFrom asked for.
    bool ContinuesRange() const;
    CmdType RequestKind = CmdType::CmdGet;
    bool DecodePostData = true;
    TExStringList HeaderList;
    // What https connections trust.
    TTlsTrust Trust;
    // Takes other's cookies, and the ones servers set from now on, as this client's own.
    void ShareCookies(const TNMHTTP& other) { cookieJar = other.cookieJar; }
    // The cookies requests carry (unless HeaderInfo.Cookie names its own) and answers add to.
    void UseCookieJar(std::shared_ptr<TCookieJar> jar) { cookieJar = std::move(jar); }
    const std::shared_ptr<TCookieJar>& CookieJar() const { return cookieJar; }

    // The request under way (or the last one) goes over TLS.
    bool Secure() const { return secure; }
    THttpStep Step() const { return step; }

    void Abort() override;
    // Closes the connection kept for the next request, if there is one.
    void CloseKeptConnection();
    // Opens the connection (and the TLS session) to the server of url ahead of a request, and
    // keeps it for that request. Only a direct connection: a proxy may answer with a question.
    TTask<void> ConnectAheadAsync(std::string url);

    virtual void DoRequest();
    // The request as a step of a transfer; DoRequest drives it to its end.
    TTask<THttpAnswer> DoRequestAsync();
    TTask<void> SendRequestAsync();
    TTask<void> ReadResponseHeaderAsync();
    virtual void ParseURL();
    virtual void BuildHeaders();
    virtual void ReadResponseHeader();
    virtual void SendRequest();

    virtual void Options(const std::string& url);
    virtual void Get(const std::string& url);
    // A request as a step of a transfer: the answer comes back as a value.
    TTask<THttpAnswer> GetAsync(std::string url);
    TTask<THttpAnswer> HeadAsync(std::string url);
    // The last answer as a value.
    THttpAnswer Answer() const;
    virtual void Post(const std::string& url, const std::string& data);
    virtual void Put(const std::string& url, const std::string& data);
    virtual void Head(const std::string& url);
    virtual void Patch(const std::string& url, const std::string& data);
    virtual void Delete(const std::string& url);
    virtual void Trace(const std::string& url, const std::string& data);
    virtual void Copy(const std::string& url, const std::string& destination);
    virtual void Move(const std::string& url, const std::string& destination);
    virtual void Link(const std::string& url, const std::string& value);
    virtual void Unlink(const std::string& url, const std::string& value);

  protected:
    void AddressFound() override;

  private:
    void SetStep(THttpStep next);
    void Request(CmdType kind, const std::string& url);
    // The https side (nmhttptls.cpp). Before Connect: a fresh socket for every https connection.
    void PrepareTransport();
    // After Connect: the tunnel through a proxy and the TLS handshake. False when the proxy
    // asked for its login instead; that answer (407, without its body) is then the response.
    // Any other refusal raises ProxyRefusedTunnel.
    TTask<bool> OpenSecureSessionAsync();
    TTask<bool> OpenTunnelAsync();
    TTask<void> HandshakeAsync();
    std::int64_t BodyLength();
    // Scheme, host, port and proxy: what a kept connection must match to carry a request.
    std::string ConnectionKey() const;
    // Whether the connection kept from the last answer carries this request; any other
    // connection still open is closed.
    bool TakeKeptConnection();
    // Sends the request and reads the answer's header. False when a reused connection turned out
    // closed before any of the answer came, so that the request may go again.
    TTask<bool> ExchangeAsync(bool reused);
    // After an answer: the connection is kept for the next request when the answer allows it,
    // else closed.
    void KeepOrClose(const std::string& key);
    // The end of an answer that has no body (to a HEAD; 1xx, 204, 304) is its header: the body
    // file is left empty.
    void EndWithoutBody(bool head);

    // Calls of DoRequest on the stack: a handler's request runs inside the one it handles.
    int requestDepth = 0;
    // The server HeaderInfo's credentials are for: that of the outermost call.
    std::string credentialOrigin;
    // Clients that share cookies hold one jar.
    std::shared_ptr<TCookieJar> cookieJar = std::make_shared<TCookieJar>();
    // Every Set-Cookie value of the answer just read.
    std::vector<std::string> setCookies;
    // The answer's Set-Cookie lines go into the jar.
    void KeepCookies();
    bool secure = false;
    // What the last answer's header said (Location, validators, Content-Range) and where its body
    // went on in the body file; Answer adds the rest.
    THttpAnswer said;
    THttpStep step = THttpStep::Idle;
    // The status line of the last answer read.
    std::string statusLine;
    // The last answer lets its connection carry the next request.
    bool answerKeepsConnection = false;
    // The key of the connection kept open for the next request; empty when there is none.
    std::string keptConnection;
    QTimer* idleTimer;
};
