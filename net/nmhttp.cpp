#include "net/nmhttp.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "net/extraheader.h"
#include "net/httpparse.h"
#include "net/nmurl.h"
#include "net/origin.h"
#include "net/unitencrypt.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "platform/filewrite.h"

namespace
{
constexpr std::array<TCmdTypeInfo, 12> CmdTypeTable{{
    {"GET ", "", false, false},
    {"OPTIONS ", "", false, false},
    {"HEAD ", "", false, false},
    {"POST ", "", true, true},
    {"PUT ", "", true, true},
    {"PATCH ", "", true, true},
    {"COPY ", "URI-header: ", false, false},
    {"MOVE ", "URI-header: ", false, false},
    {"DELETE ", "", false, false},
    {"LINK ", "Link: ", true, false},
    {"UNLINK ", "Link: ", true, false},
    {"TRACE ", "", true, true},
}};

// A response header beyond this is given up: a server may send header lines for ever.
constexpr std::size_t MaxHeaderBytes = 1024 * 1024;

} // namespace

const TCmdTypeInfo* CmdTypeInfo(CmdType kind)
{
    const int index = static_cast<int>(kind);
    return index >= 0 && index < static_cast<int>(CmdTypeTable.size()) ? &CmdTypeTable[index] : nullptr;
}

TNMHTTP::TNMHTTP(QObject* owner) : TPowersock(owner), idleTimer(new QTimer(this))
{
    idleTimer->setSingleShot(true);
    connect(idleTimer, &QTimer::timeout, this, [this] { CloseKeptConnection(); });
}

void TNMHTTP::Abort()
{
    AbandonLookup();
    Cancel();
    CloseKeptConnection();
}

void TNMHTTP::Request(CmdType kind, const std::string& url)
{
    URL = url;
    RequestKind = kind;
    DoRequest();
}

void TNMHTTP::Options(const std::string& url)
{
    Request(CmdType::CmdOptions, url);
}

void TNMHTTP::Get(const std::string& url)
{
    Request(CmdType::CmdGet, url);
}

TTask<THttpAnswer> TNMHTTP::GetAsync(std::string url)
{
    URL = std::move(url);
    RequestKind = CmdType::CmdGet;
    co_return co_await DoRequestAsync();
}

TTask<THttpAnswer> TNMHTTP::HeadAsync(std::string url)
{
    URL = std::move(url);
    RequestKind = CmdType::CmdHead;
    co_return co_await DoRequestAsync();
}

THttpAnswer TNMHTTP::Answer() const
{
    THttpAnswer answer = said;
    answer.Status = ReplyCode;
    answer.StatusLine = std::string(bytetext::WithoutLineEnd(statusLine));
    if (!OutputFileMode)
        answer.Header = Header;
    // A request for a path alone went to the host of the one before it, the way it went there.
    answer.Address =
        RequestURL.find("://") != std::string::npos
            ? RequestURL
            : (secure ? "https://" : "http://") + Host + ":" + std::to_string(Port) + RequestPath;
    answer.Origin = Origin;
    answer.Host = Host;
    answer.Announced = ExpectedCount;
    answer.Received = ReceivedCount;
    answer.Body = Body;
    answer.BodyInFile = InputFileMode;
    return answer;
}

void TNMHTTP::Head(const std::string& url)
{
    Request(CmdType::CmdHead, url);
}

void TNMHTTP::Delete(const std::string& url)
{
    Request(CmdType::CmdDelete, url);
}

void TNMHTTP::Post(const std::string& url, const std::string& data)
{
    SendData = data;
    if (DecodePostData && !OutputFileMode)
    {
        TNMURL decoder;
        decoder.InputString = data;
        SendData = decoder.Decode();
    }
    Request(CmdType::CmdPost, url);
}

void TNMHTTP::Put(const std::string& url, const std::string& data)
{
    SendData = data;
    Request(CmdType::CmdPut, url);
}

void TNMHTTP::Patch(const std::string& url, const std::string& data)
{
    SendData = data;
    Request(CmdType::CmdPatch, url);
}

void TNMHTTP::Trace(const std::string& url, const std::string& data)
{
    SendData = data;
    Request(CmdType::CmdTrace, url);
}

void TNMHTTP::Copy(const std::string& url, const std::string& destination)
{
    ExtraHeaderValue = destination;
    Request(CmdType::CmdCopy, url);
}

void TNMHTTP::Move(const std::string& url, const std::string& destination)
{
    ExtraHeaderValue = destination;
    Request(CmdType::CmdMove, url);
}

void TNMHTTP::Link(const std::string& url, const std::string& value)
{
    ExtraHeaderValue = value;
    SendData = "Send.dat";
    Request(CmdType::CmdLink, url);
}

void TNMHTTP::Unlink(const std::string& url, const std::string& value)
{
    ExtraHeaderValue = value;
    SendData = "Send.dat";
    Request(CmdType::CmdUnlink, url);
}

TTask<THttpAnswer> TNMHTTP::DoRequestAsync()
{
    const bool outermost = requestDepth == 0;
    ++requestDepth;
    struct TLeave
    {
        int& depth;
        ~TLeave() { --depth; }
    } leave{requestDepth};

    int followUps = 0;
    for (;;)
    {
        ParseURL();
        said.ContinuedFrom = -1;
        const std::string requestURL = URL;
        const std::string origin = OriginOf(URL, Host, Port);
        RequestURL = requestURL;
        Origin = origin;
        if (outermost && followUps == 0)
            credentialOrigin = origin;
        BuildHeaders();
        if (OnAboutToSend)
            OnAboutToSend(this);
        const bool reused = TakeKeptConnection();
        if (!reused)
        {
            PrepareTransport();
            SetStep(THttpStep::Resolve);
            co_await ConnectAsync();
        }
        try
        {
            // The proxy's request for its login in place of a tunnel is the answer, without its
            // body; it is no answer to a HEAD.
            const CmdType kind = RequestKind;
            const bool head = kind == CmdType::CmdHead;
            bool tunnelOpen = reused;
            if (!tunnelOpen)
                tunnelOpen = co_await OpenSecureSessionAsync();
            bool answered = false;
            if (tunnelOpen)
                answered = co_await ExchangeAsync(reused);
            if (tunnelOpen && !answered)
            {
                // The server closed the kept connection before it answered: the request goes
                // once more, on a connection of its own.
                Disconnect();
                RequestKind = kind;
                PrepareTransport();
                SetStep(THttpStep::Resolve);
                co_await ConnectAsync();
                tunnelOpen = co_await OpenSecureSessionAsync();
                if (tunnelOpen)
                    co_await ExchangeAsync(false);
            }
            if (tunnelOpen)
                KeepCookies();
            SetStep(THttpStep::Body);
            if (!tunnelOpen || !httpparse::HasBody(ReplyCode, head))
                EndWithoutBody(head && tunnelOpen);
            else if (InputFileMode)
                co_await CaptureFileAsync(Body, said.ContinuedFrom);
            else
                co_await CaptureStringAsync(Body, -1);
            answerKeepsConnection = answerKeepsConnection && tunnelOpen;
            const int code = ReplyCode;
            if (code < 299)
            {
                if (OnSuccess)
                    OnSuccess(RequestKind);
                ReportStatus(2, "Transaction Completed");
            }
            else if (code > 399 && OnFailure)
                OnFailure(RequestKind);
        }
        catch (...)
        {
            SetStep(THttpStep::Done);
            Disconnect();
            throw;
        }
        SetStep(THttpStep::Done);
        KeepOrClose(ConnectionKey());

        int code = ReplyCode;
        if (httpparse::IsRedirect(code))
        {
            bool handled = false;
            if (OnRedirect)
                OnRedirect(handled);
            if (handled)
                co_return Answer();
            // A relative target is taken relative to the address just asked for; taken as it
            // stands, "sub/x" would name a host and "/x" would reach a proxy without any host.
            if (requestURL.find("://") != std::string::npos)
                URL = httpparse::ResolveLocation(requestURL, URL);
            else if (URL.find('/') == std::string::npos)
                URL = httpparse::ResolveLocation(
                    (secure ? "https://" : "http://") + Host + ":" + std::to_string(Port) + "/", URL);
        }
        if (code == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(this);
        if (!httpparse::IsRedirect(ReplyCode))
            co_return Answer();
        // A server that keeps redirecting would otherwise be asked for ever.
        if (++followUps > MaxRedirects)
            throw ESockError(TSockReason::TooManyRedirects, "Too many redirects");
    }
}

void TNMHTTP::DoRequest()
{
    RunToEnd(DoRequestAsync());
}

void TNMHTTP::SetStep(THttpStep next)
{
    if (step == next)
        return;
    step = next;
    if (OnStep)
        OnStep(this);
}

void TNMHTTP::AddressFound()
{
    SetStep(THttpStep::Connect);
}

std::string TNMHTTP::ConnectionKey() const
{
    return (secure ? "https://" : "http://") + Host + ":" + std::to_string(Port) + " via " + Proxy + ":" +
           std::to_string(ProxyPort);
}

bool TNMHTTP::TakeKeptConnection()
{
    idleTimer->stop();
    const std::string kept = std::exchange(keptConnection, std::string());
    // Anything the server sent while the connection was idle (a 408 before it closes, say) is
    // no answer to the next request: such a connection is not used again.
    if (!kept.empty() && kept == ConnectionKey() && IsConnected() && Buffered().empty())
        return true;
    if (IsConnected())
        Disconnect();
    return false;
}

TTask<bool> TNMHTTP::ExchangeAsync(bool reused)
{
    const CmdType kind = RequestKind;
    statusLine.clear();
    try
    {
        SetStep(THttpStep::Request);
        co_await SendRequestAsync();
        SetStep(THttpStep::Header);
        co_await ReadResponseHeaderAsync();
        co_return true;
    }
    catch (const ESockError& error)
    {
        // Only a kept connection that ended before a byte of the answer came is stale; a request
        // that may change something on the server is never sent twice.
        const bool retry = reused && statusLine.empty() && !CancelRequested &&
                           (kind == CmdType::CmdGet || kind == CmdType::CmdHead) &&
                           error.Reason() == TSockReason::Winsock &&
                           (error.WinsockError() == TWinsockError::ConnectionReset ||
                            error.WinsockError() == TWinsockError::NotConnected ||
                            error.WinsockError() == TWinsockError::ConnectionAborted);
        if (!retry)
            throw;
        co_return false;
    }
}

void TNMHTTP::KeepOrClose(const std::string& key)
{
    if (!answerKeepsConnection || !IsConnected())
    {
        Disconnect();
        return;
    }
    keptConnection = key;
    idleTimer->start(KeptIdleMilliseconds);
}

TTask<void> TNMHTTP::ConnectAheadAsync(std::string url)
{
    if (requestDepth > 0 || !Proxy.empty())
        co_return;
    URL = std::move(url);
    ParseURL();
    const std::string key = ConnectionKey();
    if (TakeKeptConnection())
    {
        KeepOrClose(key);
        co_return;
    }
    try
    {
        PrepareTransport();
        SetStep(THttpStep::Resolve);
        co_await ConnectAsync();
        co_await OpenSecureSessionAsync();
    }
    catch (...)
    {
        SetStep(THttpStep::Done);
        Disconnect();
        throw;
    }
    SetStep(THttpStep::Done);
    answerKeepsConnection = true;
    KeepOrClose(key);
}

void TNMHTTP::CloseKeptConnection()
{
    idleTimer->stop();
    keptConnection.clear();
    if (requestDepth == 0 && IsConnected())
        Disconnect();
}

void TNMHTTP::EndWithoutBody(bool head)
{
    // Whatever follows the header belongs to no answer; a server or proxy that keeps the
    // connection open would otherwise be waited for until the time-out.
    ClearReceiveBuffer();
    ReceivedCount = 0;
    // A HEAD's Content-Length tells what a GET would bring; nothing else announces anything here.
    if (!head)
        ExpectedCount = 0;
    // The framing was for a capture that does not come.
    bodyFraming = TBodyFraming{};
    if (!InputFileMode)
    {
        Body.clear();
        return;
    }
    QFile file;
    if (!OpenFileByName(file, Body, QIODevice::WriteOnly | QIODevice::Truncate))
        throw Exception(FileCreateErrorText(Body, errno));
}

void TNMHTTP::ParseURL()
{
    const httpparse::TRequestTarget target = httpparse::ParseRequestURL(URL, Host, Port);
    secure = httpparse::UsesTls(URL, secure);
    URL = target.url;
    RequestPath = target.requestPath;
    Host = target.host;
    Port = target.port;
}

std::int64_t TNMHTTP::BodyLength()
{
    if (!OutputFileMode)
        return static_cast<std::int64_t>(SendData.size());
    QFile file;
    if (!OpenFileByName(file, SendData, QIODevice::ReadOnly))
        throw Exception(FileOpenErrorText(SendData, errno));
    return file.size();
}

void TNMHTTP::BuildHeaders()
{
    HeaderList.Clear();
    const TCmdTypeInfo* kind = CmdTypeInfo(RequestKind);
    // Through a tunnel the request goes to the server as if there were no proxy.
    const bool proxyForm = !Proxy.empty() && !secure;
    if (kind)
        HeaderList.Add(std::string(kind->keyword) + (proxyForm ? URL : RequestPath) + " HTTP/1.1");
    const std::string host = httpparse::HostField(Host, Port, secure);
    if (proxyForm)
    {
        HeaderList.Add("Proxy-Connection: Keep-Alive");
        HeaderList.Add("Host: " + host);
    }
    HeaderList.SetHeaderValue("Host", host);
    HeaderList.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    HeaderList.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
    HeaderList.SetHeaderValue("User-Agent", HeaderInfo.LocalProgram);
    HeaderList.SetHeaderValue("From", HeaderInfo.LocalMailAddress);
    if (!HeaderInfo.Cookie.empty())
        HeaderList.SetHeaderValue("Cookie", HeaderInfo.Cookie);
    else
        HeaderList.SetHeaderValue(
            "Cookie", cookieJar->CookieHeader(Host, RequestPath, secure, platform::Now().toSecsSinceEpoch()));
    HeaderList.SetHeaderValue("Referer", HeaderInfo.Referer);
    if (RangeFrom > 0 && RequestKind == CmdType::CmdGet)
    {
        HeaderList.Add("Range: bytes=" + std::to_string(RangeFrom) + "-");
        HeaderList.SetHeaderValue("If-Range", RangeValidator);
    }
    if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty() && Origin == credentialOrigin)
        HeaderList.SetHeaderValue("Authorization",
                                  "Basic " + EncodeBase64(HeaderInfo.UserId + ":" + HeaderInfo.Password));
    for (const std::string& line : ExtraHeaders)
    {
        // A header of the client's own given twice would contradict it.
        if (const std::string refusal = CheckExtraHeader(line); !refusal.empty())
            throw Exception("Header not sent: " + refusal);
        HeaderList.Add(std::string(bytetext::Trim(line)));
    }
    HeaderList.Add("Content-type: application/x-www-form-urlencoded");
    if (kind && !kind->extraHeader.empty())
        HeaderList.Add(std::string(kind->extraHeader) + ExtraHeaderValue);
    if (kind && kind->contentLength)
        // Link and Unlink send no body, so they announce none.
        HeaderList.Add("Content-Length: " + std::to_string(kind->bodySent ? BodyLength() : 0));
}

TTask<void> TNMHTTP::SendRequestAsync()
{
    // A CR or LF inside a line would start a header line of the address's choosing. Credentials
    // go out encoded, but are held to the same rule as the address they came with.
    const std::vector<std::string>& lines = HeaderList.Lines();
    if (std::any_of(lines.begin(), lines.end(), bytetext::HasControlByte) ||
        bytetext::HasControlByte(HeaderInfo.UserId) || bytetext::HasControlByte(HeaderInfo.Password))
        throw Exception("Invalid URL");
    // One write for the whole header: a server may answer and close once it has the request
    // line, and a second write would then meet a closed connection.
    const std::string header = HeaderList.Text() + "\r\n";
    // A cut request would ask for another resource.
    if (header.size() > TextBufferSize)
        throw ESockError(TSockReason::UrlTooLong, "URL too long");
    co_await SendBytesAsync(header);
    const TCmdTypeInfo* kind = CmdTypeInfo(RequestKind);
    if (kind && kind->bodySent)
    {
        if (OutputFileMode)
            co_await SendFileAsync(SendData);
        else
            // The whole body, as its Content-Length announced it.
            co_await SendBytesAsync(SendData);
    }
    RequestKind = CmdType::CmdGet;
}

void TNMHTTP::SendRequest()
{
    RunToEnd(SendRequestAsync());
}

bool TNMHTTP::ContinuesRange() const
{
    return RangeFrom > 0 && ReplyCode == 206 && said.ContentRangeStart == RangeFrom &&
           (RangeTotal < 0 || said.ContentRangeTotal == RangeTotal);
}

TTask<void> TNMHTTP::ReadResponseHeaderAsync()
{
    ExpectedCount = 0;
    SetCookieValue.clear();
    setCookies.clear();
    said = THttpAnswer{};
    QFile headerFile;
    if (OutputFileMode)
    {
        if (!OpenFileByName(headerFile, Header,
                            QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            throw Exception(FileCreateErrorText(Header, errno));
    }
    else
        Header.clear();
    std::size_t headerBytes = 0;
    auto sink = [&](const std::string& line)
    {
        headerBytes += line.size();
        if (headerBytes > MaxHeaderBytes)
            throw ESockError(TSockReason::HeaderTooLong, "Header too long");
        if (!OutputFileMode)
            Header += line;
        else if (!WriteAll(headerFile, line.data(), static_cast<qint64>(line.size())))
            throw Exception(FileWriteErrorText(Header, headerFile.errorString().toStdString()));
    };

    // Interim answers (100 Continue, 103...) come before the real one: each is skipped whole,
    // the header bound counting them all.
    for (;;)
    {
        std::string line = co_await ReadLnAsync();
        statusLine = line;
        ReplyCode = httpparse::StatusCode(line);
        sink(line);
        // Without a code in 100..599 the answer is no answer, and nothing may be kept for it.
        if (ReplyCode == 0)
            throw ESockError(TSockReason::BadStatusLine, "Bad status line");
        std::optional<std::int64_t> length;
        bool badLength = false;
        bool chunked = false;
        std::string connectionTokens;
        for (;;)
        {
            line = co_await ReadLnAsync();
            const std::string keyword = httpparse::HeaderKeyword(line);
            if (keyword == "SET-COOKIE:")
            {
                SetCookieValue = httpparse::HeaderValueFrom(line, 13);
                setCookies.push_back(std::string(bytetext::WithoutLineEnd(SetCookieValue)));
            }
            else if (keyword == "LOCATION:")
                URL = said.Location = httpparse::HeaderValueFrom(line, 11);
            else if (keyword == "CONTENT-LENGTH:")
            {
                // Several lengths must agree; one that is no plain number is no length at all.
                const std::optional<std::int64_t> value = httpparse::ContentLength(line);
                badLength = badLength || !value || (length && *length != *value);
                length = value;
            }
            else if (keyword == "TRANSFER-ENCODING:")
                chunked = httpparse::IsChunkedEncoding(line);
            else if (keyword == "ETAG:")
                said.ETag = bytetext::Trim(httpparse::HeaderValueFrom(line, 6));
            else if (keyword == "LAST-MODIFIED:")
                said.LastModified = bytetext::Trim(httpparse::HeaderValueFrom(line, 15));
            else if (keyword == "CONTENT-RANGE:")
                httpparse::ContentRange(line, said.ContentRangeStart, said.ContentRangeTotal);
            connectionTokens += httpparse::ConnectionTokens(line);
            sink(line);
            if (httpparse::IsHeaderEnd(line))
                break;
        }
        const bool interim = ReplyCode >= 100 && ReplyCode < 200 && ReplyCode != 101;
        if (interim)
        {
            SetCookieValue.clear();
            setCookies.clear();
            said = THttpAnswer{};
            if (OutputFileMode)
            {
                headerFile.resize(0);
                headerFile.seek(0);
            }
            else
                Header.clear();
            continue;
        }
        // A chunked body ends with its last chunk, whatever length was announced beside it.
        if (chunked)
            length.reset();
        else if (badLength)
            throw ESockError(TSockReason::BadContentLength, "Bad Content-Length");
        ExpectedCount = length.value_or(0);
        bodyFraming = TBodyFraming{chunked, length.value_or(-1)};
        // A body that ends with the connection leaves nothing to keep.
        answerKeepsConnection =
            httpparse::KeepsConnection(statusLine, connectionTokens) &&
            (chunked || length || !httpparse::HasBody(ReplyCode, RequestKind == CmdType::CmdHead));
        // Where the body goes on in the body file is known with the header.
        said.ContinuedFrom = InputFileMode && ContinuesRange() ? RangeFrom : -1;
        ReceivedCount = 0;
        if (OnResponseHeader)
            OnResponseHeader(Answer());
        co_return;
    }
}

void TNMHTTP::ReadResponseHeader()
{
    RunToEnd(ReadResponseHeaderAsync());
}

void TNMHTTP::KeepCookies()
{
    const std::int64_t now = platform::Now().toSecsSinceEpoch();
    for (const std::string& value : setCookies)
        cookieJar->TakeSetCookie(value, Host, RequestPath, secure, now);
    setCookies.clear();
}
