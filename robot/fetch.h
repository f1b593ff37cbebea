#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QObject>

#ifndef Q_MOC_RUN
#include "platform/task.h"
#endif
#include "net/httpanswer.h"
#include "platform/indicator.h"
#include "platform/loglevel.h"
#include "robot/transferfile.h"

class TCookieJar;
class THttpEvents;
struct TLogins;
class TNMFTP;
class TNMHTTP;
class TRateLimit;
class TTlsTrust;
class TWatchdog;
class Exception;

// The most an FTP folder's listing may bring: a server may list without end.
inline constexpr std::int64_t MaxListingBytes = std::int64_t{64} << 20;

// What one transfer is asked for.
struct TFetchRequest
{
    // An http://, https:// or ftp:// address, without a login in it.
    std::string Address;
    // The file the answer becomes once the caller commits it.
    std::string Destination;
    // A HEAD instead of a GET: the destination stays empty.
    bool Head = false;
    // A HEAD that asks for the proxy's login goes ahead of the GET, as it does for pages.
    bool ProbeFirst = false;
    // A login of the caller's and the server it is for (as OriginOf gives it); it goes with
    // requests to that server only.
    std::string User;
    std::string Password;
    std::string LoginOrigin;
    // An ftp:// address names a folder, with or without its final "/", whose listing is the
    // answer (see TNMFTP::ListFolder).
    bool ListFolder = false;
    // Seconds without a sign of life before the watchdog gives the transfer up.
    int TimeOutSeconds = 60;
    // An FTP file's data connection is made by this side (passive) rather than the server.
    bool PassiveFtp = false;
    // "MD5", "SHA256" or "SHA512": the file is summed as it is written (TFetchResult::Sum);
    // empty for none.
    std::string Checksum;
    // A transfer that brings more than this many bytes fails (0: no limit).
    std::int64_t MostBytes = 0;
};

// How one transfer ended. The answer waits in File until the caller commits it; a result that
// goes out of scope uncommitted leaves no trace.
struct TFetchResult
{
    explicit TFetchResult(std::string destination) : File(std::move(destination)) {}

    TTransferFile File;
    // The HTTP reply code (0 for FTP), and the status line it came in.
    int ReplyCode = 0;
    std::string StatusLine;
    // What the transfer brought: the announced length of an HTTP body (0 when none was
    // announced), the received count of an FTP file.
    std::int64_t Bytes = 0;
    // Where the last redirect led (empty when none was followed), and the host asked last.
    std::string RedirectedTo;
    std::string Host;
    // A folder listed: the file holds MLSD's lines, else NLST's names.
    bool MachineListing = false;
    // The file's sum in lower-case hex, when the request asked for one.
    std::string Sum;

    // The answer brings no file: an error reply (400 and up), or an answer that has no body
    // (1xx, 204, 304). Never so for FTP, which has no reply code here.
    bool ErrorAnswer() const;
};

// What a transfer reports to the one who runs it, on the one thread, in the middle of it.
class TFetchObserver
{
  public:
    virtual ~TFetchObserver() = default;

    virtual TLogLevel LogLevel() const { return TLogLevel::None; }
    virtual void WriteLog(const std::string& /*line*/, bool /*fileOnly*/) {}
    // "host:port", or empty for none; read when the proxy setting is applied.
    virtual std::string ProxyPreference() const { return {}; }
    // The clients' status reports, one line each.
    virtual void HttpStatus(const std::string& /*text*/) {}
    virtual void FtpStatus(const std::string& /*text*/) {}
    virtual void Indicator(TIndicator /*kind*/) {}
    // A redirect is being followed to the address.
    virtual void Redirected(const std::string& /*address*/) {}
    // Bytes of the transfer under way.
    virtual void Progress(std::int64_t /*received*/, std::int64_t /*expected*/) {}
    // What a handler at the edge of the event loop caught.
    virtual void Caught(const std::string& /*message*/) {}
    // The whole FTP file is in, and the server fumbled the goodbye: the file stands.
    virtual void AfterTransfer(const std::string& /*failure*/) {}
    // The transfer goes on after the bytes an earlier attempt left, of a file of total bytes
    // (-1 when unknown).
    virtual void Resumed(std::int64_t /*from*/, std::int64_t /*total*/) {}
};

// "Resumed at N of T bytes" (or "Resumed at N bytes" when the whole size is unknown).
std::string ResumedText(std::int64_t from, std::int64_t total);

// One transfer of one address into one file, with everything it takes: the clients set up
// (proxy, logins, trust), the request, a second one when a login was stored meanwhile, the
// redirect that could not be followed, the watchdog, the transfer file, and the rule that a body
// is whole only at its announced length. Pages, files, the preview and kestrow-cli get all fetch
// through it. The clients live as long as the TFetch, so a login or a server's cookie given
// during one transfer serves the next.
class TFetch : public QObject
{
    Q_OBJECT

  public:
    // Redirects followed in one transfer before it fails, and login questions asked.
    static constexpr int MaxRedirects = 20;
    static constexpr int MaxLoginQuestions = 3;

    explicit TFetch(TFetchObserver& observer, QObject* owner = nullptr);
    ~TFetch() override;

    // Whether a server's request for a login is put to the user (through the prompt seam);
    // when not, the refusal is the answer.
    bool AskLogins = true;

    // Fetches the request's address. A refusal, redirect failure, cut body or abort raises
    // Exception (ESockError, FTPException, EAbortError...); an error answer of the server is a
    // result with its reply code, for the caller to judge.
    TFetchResult Fetch(const TFetchRequest& request);
    // The same as a step of a transfer: Fetch drives it to its end for a blocking caller.
    TTask<TFetchResult> FetchAsync(const TFetchRequest& request);

    // Takes the proxy preference over, or says that it is unusable (indicator and message).
    void ApplyProxySetting();
    // A proxy set directly, for a caller without preferences: empty host for none.
    void UseProxy(const std::string& host, int port);
    TTlsTrust& Trust();
    // Another transfer unit of the same run: it trusts what first trusts, goes through its
    // proxy, names itself as it does, and shares its logins and cookies.
    void ShareWith(TFetch& first);
    // The User-Agent every HTTP request names (none when empty), and the "Name: value" lines
    // every request to a server carries; the caller has checked them with CheckExtraHeader.
    void UseIdentity(const std::string& userAgent, const std::vector<std::string>& extraHeaders);
    // The cookies the HTTP requests carry, and the ones servers set join.
    void UseCookies(std::shared_ptr<TCookieJar> jar);
    std::shared_ptr<TCookieJar> Cookies() const;
    // The logins this unit's transfers use.
    TLogins& Logins();
    // The speed limit everything this unit receives comes under (null: none); ShareWith shares it.
    void SetRateLimit(std::shared_ptr<TRateLimit> limit);

    // Ends whatever the clients wait for; the transfer under way raises, and what arrived of it
    // waits for the next attempt at the same file.
    void Abort();
    // The user gives the transfer under way up: what arrived of it goes when it fails. Callers
    // abort the clients as they see fit.
    void GiveUp();
    // FTP servers that refused active mode in an earlier run are tried in it again.
    void ForgetFtpFallBacks();
    // Ends only an HTTP transfer under way.
    void AbortHttp();
    // Ends an FTP folder's listing under way, and nothing else.
    void AbortListing();
    // Says goodbye to the FTP server (quietly, whatever it answers) and ends an FTP wait.
    void CloseFtp();
    // Closes the connections kept for the next transfer: the HTTP one and the FTP control
    // connection, with its goodbye.
    void CloseConnections();
    // Opens a connection to the server of an http:// or https:// address for a transfer to come;
    // a failure is left for that transfer to meet.
    TTask<void> ConnectAheadAsync(std::string address);
    TTask<void> CloseConnectionsAsync();
    // Whether the watchdog gave up the last transfer.
    bool TimedOut() const;
    // The last transfer's failure as a person reads it: what the watchdog or the server said
    // that the exception alone does not tell.
    std::string Explain(const Exception& error, int timeOutSeconds);

  private:
    TTask<void> FetchHttpAsync(const TFetchRequest& request, TFetchResult& result);
    TTask<void> FetchFtpAsync(const TFetchRequest& request, TFetchResult& result);
    // GETs the request's address and goes where its answers lead: redirects, logins (a proxy's
    // only when askProxy), and the whole file again when the part asked for (RangeFrom) cannot
    // be had. A redirect that could not be followed raises.
    TTask<THttpAnswer> FollowAnswersAsync(const TFetchRequest& request, bool askProxy);
    void SignOfLife();
    void HttpPacketRecvd();
    void KeepDescribed(std::int64_t received);
    // Describes the bytes the answer brings, for a later attempt to go on from.
    void HttpResponseHeader(const THttpAnswer& answer);
    // Says goodbye on the FTP control connection kept from the last file, if any.
    TTask<void> CloseKeptFtpAsync();
    // The goodbye on Stop, once the transfer under way has ended.
    TTask<void> SayFtpGoodbyeAsync();
    // Whether a failure on a kept FTP control connection says that the connection is gone.
    bool LostConnection(const std::exception& error) const;
    // The FTP server's reply to a question about a file (MDTM, SIZE); empty when it refused.
    TTask<std::string> FtpAnswerAsync(std::string command);

    TFetchObserver& Observer;
    // Stop came: the FTP transfer under way says goodbye as it ends.
    bool goodbyeAfterAbort = false;
    TNMHTTP* NMHTTP1;
    TNMFTP* NMFTP1;
    std::unique_ptr<THttpEvents> HttpEvents;
    TWatchdog* TimerConnect;
    std::shared_ptr<TRateLimit> rateLimit;
    // The FTP server's last error reply, which explains a wait that it ended (421, 425, 426).
    std::string lastFtpErrorReply;
    bool lastWasFtp = false;
    // The FTP server ("host:port as user") whose control connection is kept for the next file,
    // empty when none is; and the folder it is in.
    std::string keptFtpServer;
    std::string ftpFolder;
    bool ftpFolderSet = false;
    bool givenUp = false;
    // The whole size of an FTP file whose transfer goes on from ContinuedFrom (-1: unknown).
    std::int64_t ftpWholeSize = -1;
    // Where the last redirect of the transfer under way led; empty when it followed none.
    std::string redirectedTo;
    // The transfer file whose bytes the HTTP answers describe, and the address they are for.
    TTransferFile* describing = nullptr;
    std::string describedAddress;
    // The kept bytes of the file under way, asked to be continued: how many, of which version,
    // of what whole size.
    struct TRange
    {
        std::int64_t From = 0;
        std::string Validator;
        std::int64_t Total = -1;
    };
    TRange rangeAsked;
    // From the header of the answer under way: where its body goes on in the file (-1 afresh),
    // and the length it announced.
    std::int64_t partFrom = -1;
    std::int64_t announcedLength = 0;
    // An FTP folder is being listed; its listing went past MaxListingBytes.
    bool listing = false;
    bool listingTooLong = false;
    // The most bytes the transfer under way may bring (0: no limit), and whether it brought more.
    std::int64_t mostBytes = 0;
    bool tooLarge = false;
};
