#include "robot/fetch.h"

#include "auth/httpevents.h"
#include "net/httpparse.h"
#include "net/nmftp.h"
#include "net/nmhttp.h"
#include "net/ratelimit.h"
#include "net/origin.h"
#include "net/streamdigest.h"
#include "platform/exception.h"
#include "platform/bytetext.h"
#include "platform/pause.h"
#include "robot/resumerules.h"
#include "robot/protocol.h"
#include "robot/watchdog.h"

namespace
{
// Ends an answer at its header when it is a part of another version than the kept bytes: the file
// comes again from its start. No std::exception, so that no handler on the way takes it for a
// failure of its own.
struct TOtherVersion
{
};

// A server's reply line that reports an error (4xx, 5xx).
bool IsErrorReply(const std::string& status)
{
    return status.size() >= 4 && (status[0] == '4' || status[0] == '5') && bytetext::IsDigit(status[1]) &&
           bytetext::IsDigit(status[2]);
}
} // namespace

std::string ResumedText(std::int64_t from, std::int64_t total)
{
    return "Resumed at " + std::to_string(from) + (total > 0 ? " of " + std::to_string(total) : "") +
           " bytes";
}

bool TFetchResult::ErrorAnswer() const
{
    return ReplyCode >= 400 || (ReplyCode != 0 && !httpparse::HasBody(ReplyCode, false));
}

TFetch::TFetch(TFetchObserver& observer, QObject* owner) : QObject(owner), Observer(observer)
{
    TimerConnect = new TWatchdog(this);
    TimerConnect->OnTimeOut = [this] { Abort(); };
    TimerConnect->OnError = [this](const std::string& message) { Observer.Caught(message); };
    // Under a slow speed limit shared by many transfers, one may wait long for its turn.
    TimerConnect->HeldBack = [this] { return NMHTTP1->HeldByRateLimit() || NMFTP1->HeldByRateLimit(); };

    NMHTTP1 = new TNMHTTP(this);
    NMHTTP1->Body = "Default.htm";
    NMHTTP1->Header = "Head.txt";
    NMHTTP1->InputFileMode = true;
    NMHTTP1->OutputFileMode = false;
    NMHTTP1->Port = 0;
    NMHTTP1->ProxyPort = 0;
    NMHTTP1->ReportLevel = 8;
    HttpEvents = std::make_unique<THttpEvents>(*NMHTTP1);
    HttpEvents->LogLevel = [this] { return Observer.LogLevel(); };
    HttpEvents->WriteLog = [this](const std::string& line, bool fileOnly)
    { Observer.WriteLog(line, fileOnly); };
    HttpEvents->ShowStatus = [this](const std::string& text)
    { Observer.HttpStatus(std::string(bytetext::WithoutLineEnd(text))); };
    HttpEvents->ProxyPreference = [this] { return Observer.ProxyPreference(); };
    HttpEvents->ShowIndicator = [this](TIndicator kind) { Observer.Indicator(kind); };
    // The time the user takes over a login is no silence of a server.
    HttpEvents->LoginAsked = [this](bool asking) { asking ? TimerConnect->Pause() : TimerConnect->Resume(); };
    NMHTTP1->OnStatus = [this](QObject*, const std::string& status) { HttpEvents->NMHTTP1Status(status); };
    // Redirects and logins are the unit's to decide (FollowAnswersAsync): the client only answers.
    NMHTTP1->OnRedirect = [](bool& handled) { handled = true; };
    NMHTTP1->OnAboutToSend = [this](QObject*) { HttpEvents->NMHTTP1AboutToSend(); };
    NMHTTP1->OnConnect = [this](QObject*) { SignOfLife(); };
    NMHTTP1->OnPacketRecvd = [this](QObject*) { HttpPacketRecvd(); };
    NMHTTP1->OnResponseHeader = [this](const THttpAnswer& answer)
    {
        HttpEvents->NMHTTP1ResponseHeader(answer);
        HttpResponseHeader(answer);
    };

    NMFTP1 = new TNMFTP(this);
    NMFTP1->Port = 21;
    NMFTP1->ReportLevel = 2;
    NMFTP1->UserID = "anonymous";
    NMFTP1->Password = AnonymousPassword;
    NMFTP1->ProxyPort = 0;
    NMFTP1->OnStatus = [this](QObject*, const std::string& status)
    {
        if (IsErrorReply(status))
            lastFtpErrorReply = std::string(bytetext::WithoutLineEnd(status));
        // A server's reply keeps its line end; a status is one line.
        Observer.FtpStatus(std::string(bytetext::WithoutLineEnd(status)));
    };
    // Every step done (the login, each command, the data connection) and every chunk is a sign
    // of life; a reply line is none, since a server may send lines for ever.
    NMFTP1->OnConnect = [this](QObject*) { SignOfLife(); };
    NMFTP1->OnSuccess = [this](TNMFTP::TCmdType) { SignOfLife(); };
    NMFTP1->OnTransactionStart = [this](QObject*) { SignOfLife(); };
    NMFTP1->OnPassiveFallBack = [this](const std::string& text)
    {
        if (Observer.LogLevel() >= TLogLevel::Files)
            Observer.WriteLog(text, false);
    };
    NMFTP1->OnPacketRecvd = [this](QObject*)
    {
        SignOfLife();
        if (mostBytes > 0 && NMFTP1->DataReceivedCount() > mostBytes && !tooLarge)
        {
            tooLarge = true;
            NMFTP1->Abort();
            return;
        }
        KeepDescribed(NMFTP1->DataReceivedCount());
        // A file that goes on shows the whole file's place and size.
        const std::int64_t from = std::max<std::int64_t>(NMFTP1->ContinuedFrom, 0);
        Observer.Progress(from + NMFTP1->DataReceivedCount(),
                          from > 0 ? std::max<std::int64_t>(ftpWholeSize, 0) : NMFTP1->ExpectedCount);
        if (listing && !listingTooLong && NMFTP1->DataReceivedCount() > MaxListingBytes)
        {
            listingTooLong = true;
            NMFTP1->Abort();
        }
    };
}

TFetch::~TFetch()
{
    // The clients say goodbye to their servers as they go; nobody must hear it.
    for (TPowersock* client : {static_cast<TPowersock*>(NMFTP1), static_cast<TPowersock*>(NMHTTP1)})
    {
        client->OnStatus = nullptr;
        client->OnPacketRecvd = nullptr;
    }
    NMFTP1->OnConnect = nullptr;
    NMFTP1->OnSuccess = nullptr;
    delete NMFTP1;
    delete NMHTTP1;
}

void TFetch::ApplyProxySetting()
{
    HttpEvents->ApplyProxySetting();
}

void TFetch::UseProxy(const std::string& host, int port)
{
    NMHTTP1->Proxy = host;
    NMHTTP1->ProxyPort = host.empty() ? 0 : port;
}

TTlsTrust& TFetch::Trust()
{
    return NMHTTP1->Trust;
}

void TFetch::ShareWith(TFetch& first)
{
    NMHTTP1->Trust = first.NMHTTP1->Trust;
    UseProxy(first.NMHTTP1->Proxy, first.NMHTTP1->ProxyPort);
    HttpEvents->Logins = first.HttpEvents->Logins;
    NMHTTP1->ShareCookies(*first.NMHTTP1);
    UseIdentity(first.NMHTTP1->HeaderInfo.LocalProgram, first.NMHTTP1->ExtraHeaders);
    SetRateLimit(first.rateLimit);
}

void TFetch::UseIdentity(const std::string& userAgent, const std::vector<std::string>& extraHeaders)
{
    NMHTTP1->HeaderInfo.LocalProgram = userAgent;
    NMHTTP1->ExtraHeaders = extraHeaders;
}

void TFetch::UseCookies(std::shared_ptr<TCookieJar> jar)
{
    NMHTTP1->UseCookieJar(std::move(jar));
}

std::shared_ptr<TCookieJar> TFetch::Cookies() const
{
    return NMHTTP1->CookieJar();
}

void TFetch::SetRateLimit(std::shared_ptr<TRateLimit> limit)
{
    rateLimit = std::move(limit);
    NMHTTP1->SetRateLimit(rateLimit);
    NMFTP1->SetRateLimit(rateLimit);
}

TLogins& TFetch::Logins()
{
    return *HttpEvents->Logins;
}

void TFetch::Abort()
{
    NMHTTP1->Abort();
    NMFTP1->Abort();
}

void TFetch::AbortHttp()
{
    NMHTTP1->Abort();
}

void TFetch::AbortListing()
{
    if (listing)
        NMFTP1->Abort();
}

void TFetch::CloseConnections()
{
    RunToEnd(CloseConnectionsAsync());
}

TTask<void> TFetch::CloseConnectionsAsync()
{
    goodbyeAfterAbort = false;
    NMHTTP1->CloseKeptConnection();
    co_await CloseKeptFtpAsync();
}

TTask<void> TFetch::ConnectAheadAsync(std::string address)
{
    if (ProtocolOf(address) == TProtocol::Ftp)
        co_return;
    try
    {
        co_await NMHTTP1->ConnectAheadAsync(std::move(address));
    }
    catch (const std::exception& error)
    {
        Observer.Caught(error.what());
    }
}

void TFetch::CloseFtp()
{
    // A transfer under way ends first: a server that goes on sending would hold the goodbye up
    // and keep the watchdog quiet. The transfer says goodbye as it ends; a connection kept idle
    // says it when the run closes its connections.
    goodbyeAfterAbort = true;
    NMFTP1->Abort();
}

TTask<void> TFetch::SayFtpGoodbyeAsync()
{
    keptFtpServer.clear();
    // The goodbye may fail in any way; whoever closes goes on regardless.
    try
    {
        co_await NMFTP1->DisconnectAsync();
    }
    catch (const std::exception& error)
    {
        Observer.Caught(error.what());
    }
    NMFTP1->RequestCloseSocket();
}

bool TFetch::TimedOut() const
{
    return TimerConnect->Fired();
}

std::string TFetch::Explain(const Exception& error, int timeOutSeconds)
{
    const std::string message(bytetext::WithoutLineEnd(error.Message()));
    if (TimedOut())
        return "nothing received for " + std::to_string(timeOutSeconds) + " seconds (" + message + ")";
    if (lastWasFtp && dynamic_cast<const ESockError*>(&error) && !lastFtpErrorReply.empty())
        return message + " (" + lastFtpErrorReply + ")";
    return message;
}

void TFetch::SignOfLife()
{
    TimerConnect->Restart();
}

void TFetch::HttpPacketRecvd()
{
    SignOfLife();
    const std::int64_t received = NMHTTP1->ReceivedCount;
    if (mostBytes > 0 && received > mostBytes && !tooLarge)
    {
        tooLarge = true;
        NMHTTP1->Abort();
        return;
    }
    KeepDescribed(received);
    // A part that goes on shows the whole file's place and size.
    const std::int64_t from = std::max<std::int64_t>(partFrom, 0);
    Observer.Progress(from + received, announcedLength > 0 ? from + announcedLength : 0);
}

void TFetch::KeepDescribed(std::int64_t received)
{
    // A file of some size is described on disk, so that even a process that is killed leaves
    // what came of it to go on from; a small one comes again as quickly.
    constexpr std::int64_t WorthKeeping = 1024 * 1024;
    if (describing && received >= WorthKeeping)
        describing->WriteDescription();
}

TTask<TFetchResult> TFetch::FetchAsync(const TFetchRequest& request)
{
    TFetchResult result(request.Destination);
    NMHTTP1->LastError = 0;
    NMFTP1->LastError = 0;
    lastFtpErrorReply.clear();
    givenUp = false;
    partFrom = -1;
    ftpWholeSize = -1;
    TimerConnect->Start(request.TimeOutSeconds);
    struct TStopWatchdog
    {
        TWatchdog* watchdog;
        ~TStopWatchdog() { watchdog->Stop(); }
    } stopWatchdog{TimerConnect};
    // Any scheme but ftp:// goes to the HTTP part, as a path alone does.
    lastWasFtp = ProtocolOf(request.Address) == TProtocol::Ftp;
    mostBytes = request.MostBytes;
    tooLarge = false;
    std::unique_ptr<TStreamDigest> digest;
    if (!request.Checksum.empty())
        digest = std::make_unique<TStreamDigest>(request.Checksum);
    NMHTTP1->Digest = digest.get();
    NMFTP1->Digest = digest.get();
    struct TUnhook
    {
        TPowersock* http;
        TPowersock* ftp;
        ~TUnhook() { http->Digest = ftp->Digest = nullptr; }
    } unhook{NMHTTP1, NMFTP1};
    try
    {
        if (lastWasFtp)
            co_await FetchFtpAsync(request, result);
        else
            co_await FetchHttpAsync(request, result);
        // The body may have been whole by the time the abort came.
        if (tooLarge)
            throw Exception("too large");
        if (digest)
            result.Sum = co_await digest->FinishAsync();
    }
    catch (...)
    {
        if (tooLarge)
        {
            result.File.Discard();
            throw Exception("More than " + std::to_string(mostBytes) + " bytes");
        }
        // A part that did not make the file whole adds nothing to it: only the bytes kept
        // before it are gone on from next time.
        if (!lastWasFtp && partFrom > 0)
        {
            try
            {
                result.File.CutBack(partFrom);
            }
            catch (const Exception&)
            {
                result.File.Discard();
            }
        }
        // What arrived of a file that failed part-way waits for the next attempt, unless the
        // user gave the file up.
        if (!givenUp)
            result.File.KeepForLater();
        throw;
    }
    co_return result;
}

TFetchResult TFetch::Fetch(const TFetchRequest& request)
{
    return RunToEnd(FetchAsync(request));
}

void TFetch::ForgetFtpFallBacks()
{
    NMFTP1->ForgetFallBacks();
}

void TFetch::GiveUp()
{
    givenUp = true;
}

TTask<void> TFetch::FetchHttpAsync(const TFetchRequest& request, TFetchResult& result)
{
    const std::string& url = request.Address;
    NMHTTP1->Body = result.File.Path();
    const bool ownServer = !request.LoginOrigin.empty() && OriginOf(url) == request.LoginOrigin;
    NMHTTP1->HeaderInfo.UserId = ownServer ? request.User : std::string();
    NMHTTP1->HeaderInfo.Password = ownServer ? request.Password : std::string();
    Observer.Progress(0, 0);
    redirectedTo.clear();
    THttpAnswer answer;
    if (request.Head)
    {
        if (AskLogins)
            answer = co_await HttpEvents->ProbeWithProxyLoginAsync(url);
        else
            answer = co_await NMHTTP1->HeadAsync(url);
    }
    else
    {
        // The probe meets a proxy's request for its login before the page; without a proxy it
        // would only cost a request.
        const bool probe = request.ProbeFirst && AskLogins && !NMHTTP1->Proxy.empty();
        int probed = 0;
        if (probe)
        {
            const THttpAnswer probeAnswer = co_await HttpEvents->ProbeWithProxyLoginAsync(url);
            probed = probeAnswer.Status;
        }
        // A proxy login the probe asked for in vain is not asked for again.
        const bool askProxy = probed != 407;
        // An earlier attempt's bytes are asked to be continued, for as long as this file takes.
        TPartialInfo kept;
        rangeAsked.From = result.File.KeptBytes(url, kept);
        rangeAsked.Validator = kept.Validator;
        rangeAsked.Total = kept.Total;
        struct TRangeEnd
        {
            TRange& range;
            ~TRangeEnd() { range = TRange{}; }
        } rangeEnd{rangeAsked};
        describing = &result.File;
        describedAddress = url;
        struct TDescribed
        {
            TTransferFile*& describing;
            ~TDescribed() { describing = nullptr; }
        } described{describing};
        answer = co_await FollowAnswersAsync(request, askProxy);
    }
    result.ReplyCode = answer.Status;
    result.StatusLine = answer.StatusLine;
    result.RedirectedTo = redirectedTo;
    result.Host = answer.Host;
    const std::int64_t announced = answer.Announced;
    const std::int64_t continuedFrom = std::max<std::int64_t>(answer.ContinuedFrom, 0);
    // A body cut short is no copy of the file, nor a page with all its links; an error answer
    // is never kept, so its length does not matter. A part makes the file whole only at the
    // total of its range; a body that ran past the range (one framed by the connection) leaves
    // nothing of itself, and the file comes afresh next time.
    if (!request.Head && result.ReplyCode == 206)
    {
        const std::int64_t total = answer.ContentRangeTotal;
        if (FileSize(result.File.Path()) > total)
        {
            result.File.Discard();
            throw Exception("Bad Content-Range");
        }
        KeepAnnouncedLength(result.File.Path(), total);
    }
    else if (!request.Head && !result.ErrorAnswer() && announced > 0)
        KeepAnnouncedLength(result.File.Path(), continuedFrom + announced);
    // Only what came in this transfer counts: the body's bytes as they arrived, however they
    // were framed. A HEAD tells the length a GET would bring.
    result.Bytes = request.Head ? announced
                   : result.ErrorAnswer()
                       ? 0
                       : std::max<std::int64_t>(FileSize(result.File.Path()) - continuedFrom, 0);
}

void TFetch::HttpResponseHeader(const THttpAnswer& answer)
{
    partFrom = answer.ContinuedFrom;
    announcedLength = answer.Announced;
    if (!describing)
        return;
    // The version of the file this answer carries, so that its bytes can be gone on from: a
    // strong ETag, else the time of its last change.
    const int code = answer.Status;
    TPartialInfo info;
    info.Address = describedAddress;
    if (code == 200 || code == 206)
    {
        info.Validator = resumerules::HttpValidator(
            answer.ETag, answer.LastModified,
            httpparse::HeaderLineValue(httpparse::HeaderLineOf(answer.Header, "DATE:")));
        info.Total = code == 206 ? answer.ContentRangeTotal : (answer.Announced > 0 ? answer.Announced : -1);
        if (info.Total < 0)
            info.Validator.clear();
    }
    // A part is taken only as the rest of the file from where the file stands, of the version
    // its bytes are; one of another version brings the file again from its start, and one that
    // cannot make the file whole fails it, leaving nothing to go on from.
    if (code == 206)
    {
        const std::int64_t length = answer.Announced > 0 ? answer.Announced : -1;
        switch (resumerules::JudgePart(
            httpparse::ParseContentRange(httpparse::HeaderLineOf(answer.Header, "CONTENT-RANGE:")), length,
            info.Validator, rangeAsked.From, rangeAsked.Validator, rangeAsked.Total))
        {
        case resumerules::TPartVerdict::Rest:
            break;
        case resumerules::TPartVerdict::OtherVersion:
            throw TOtherVersion();
        case resumerules::TPartVerdict::Bad:
            describing->Discard();
            throw Exception("Bad Content-Range");
        }
    }
    // A resumed part keeps the description of the bytes it goes on from.
    if (answer.ContinuedFrom > 0)
        Observer.Resumed(answer.ContinuedFrom, answer.ContentRangeTotal);
    else
        describing->Describe(info);
}

TTask<THttpAnswer> TFetch::FollowAnswersAsync(const TFetchRequest& request, bool askProxy)
{
    // What comes next is decided here, answer by answer: a redirect is followed, a login asked
    // for is asked and the request made again with it, a part that cannot continue the kept
    // bytes gives way to the whole file; anything else is the answer.
    std::string address = request.Address;
    int redirects = 0;
    int logins = 0;
    for (;;)
    {
        // The caller's login goes with requests to its own server only, wherever a redirect led.
        const bool ownServer = !request.LoginOrigin.empty() && OriginOf(address) == request.LoginOrigin;
        NMHTTP1->HeaderInfo.UserId = ownServer ? request.User : std::string();
        NMHTTP1->HeaderInfo.Password = ownServer ? request.Password : std::string();
        // The kept bytes are asked to be continued, only if they are still of that version.
        NMHTTP1->RangeFrom = rangeAsked.From;
        NMHTTP1->RangeValidator = rangeAsked.Validator;
        NMHTTP1->RangeTotal = rangeAsked.Total;
        bool otherVersion = false;
        THttpAnswer answer;
        const std::shared_ptr<TLogins> stored = HttpEvents->Logins;
        const int storedBefore = stored->Stored;
        try
        {
            answer = co_await NMHTTP1->GetAsync(address);
        }
        catch (const TOtherVersion&)
        {
            otherVersion = true;
        }
        catch (const std::exception& error)
        {
            // A redirect that leads nowhere fails the transfer in its own words.
            if (redirects == 0)
                throw;
            HttpEvents->RedirectFailed(error.what());
            throw Exception(std::string(bytetext::WithoutLineEnd(error.what())));
        }
        const int code = answer.Status;
        if (rangeAsked.From > 0 &&
            (otherVersion || (answer.ContinuedFrom < 0 && (code == 206 || code == 416))))
        {
            rangeAsked.From = 0;
            continue;
        }
        // A login is asked again while the user answers; a declined proxy login stays declined,
        // a declined site login ends the transfer ("Login cancelled").
        if ((code == 401 || (code == 407 && askProxy)) && AskLogins && logins < MaxLoginQuestions)
        {
            ++logins;
            // Another transfer's question for the same place is answered first; a login given
            // since this request went out is used without asking.
            const std::string place = HttpEvents->LoginPlace(answer);
            const bool waited = stored->Asking.count(place) > 0;
            if (waited)
            {
                TimerConnect->Pause();
                while (stored->Asking.count(place) > 0)
                    co_await stored->Answered.Wait();
                TimerConnect->Resume();
            }
            const TCredentials& kept = code == 407 ? stored->ProxyAuthorization : stored->SiteAuthorization;
            if (stored->Stored > storedBefore && !kept.For(place).empty())
                continue;
            // The user declined the question this transfer waited for.
            if (waited && code == 401)
                throw Exception("Login cancelled");
            if (waited)
                co_return answer;
            const int storedBeforeQuestion = stored->Stored;
            HttpEvents->NMHTTP1AuthenticationNeeded(answer);
            if (stored->Stored > storedBeforeQuestion)
                continue;
            co_return answer;
        }
        if (!httpparse::IsRedirect(code))
            co_return answer;
        if (++redirects > MaxRedirects)
        {
            HttpEvents->RedirectFailed("Too many redirects");
            throw Exception("Too many redirects");
        }
        address = HttpEvents->RedirectTarget(answer);
        Observer.Redirected(address);
        if (!address.empty())
            redirectedTo = address;
    }
}
