#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "links/linkextraction.h"
#include "platform/loglevel.h"

// What happens once a run has ended without being stopped.
enum class TAfterDownload
{
    Nothing,
    Close,
    ShutDown,
};

// The preferences a run reads. It asks each time it needs one, so a preference changed while the
// run goes on counts from its next reading.
class TRunPreferences
{
  public:
    virtual ~TRunPreferences() = default;

    virtual std::string FilterText() const = 0;
    virtual TFilterMode FilterMode() const = 0;
    virtual bool Overwrite() const = 0;
    virtual bool SaveImages() const = 0;
    virtual bool PrintFiles() const = 0;
    virtual int Retries() const = 0;
    // Seconds without data before the watchdog gives a transfer up.
    virtual int TimeOut() const = 0;
    virtual TLogLevel LogLevel() const = 0;
    virtual TAfterDownload AfterDownload() const = 0;
    // The scheduled start: whether it is on, and its time of day as "hh:nn".
    virtual bool StartAtChecked() const = 0;
    virtual std::string StartTime() const = 0;
    // "host:port", or empty for none.
    virtual std::string ProxyServer() const = 0;
    // Seconds between the starts of two files (and the settle before a web file), 0 to 60.
    virtual int PauseSeconds() const = 0;
    // FTP data connections made by the client (EPSV, else PASV) rather than by the server.
    virtual bool PassiveFtp() const = 0;
    // How many transfers may be under way at once, 1 to MaxSimultaneousTransfers.
    virtual int SimultaneousTransfers() const = 0;
    // Bytes per second the whole run may take, over all its transfers; 0 for no limit.
    virtual std::int64_t LimitRate() const { return 0; }
    // A cookies file in the format browsers export (seven tab-separated fields a line), read at
    // the start of a run; empty for none. The cookies of the run are written to SaveCookiesFile
    // at its end when it is not empty.
    virtual std::string CookiesFile() const { return {}; }
    virtual std::string SaveCookiesFile() const { return {}; }
    // The User-Agent every request names (empty: none is sent), and "Name: value" lines added to
    // every request, each checked by CheckExtraHeader.
    virtual std::string UserAgent() const { return {}; }
    virtual std::vector<std::string> ExtraHeaders() const { return {}; }
    // Whether a downloaded file is checked against the checksum lists its page links.
    virtual bool CheckChecksums() const { return true; }
};

inline constexpr int MaxSimultaneousTransfers = 16;
inline constexpr int DefaultSimultaneousTransfers = 4;

// The preferences of one run or preview, taken when it starts: a preference the user changes
// meanwhile counts from the next run.
struct TRunSettings
{
    std::string FilterText;
    TFilterMode FilterMode = TFilterMode::Contains;
    bool Overwrite = false;
    bool SaveImages = false;
    bool PrintFiles = false;
    int Retries = 0;
    int TimeOut = 60;
    TLogLevel LogLevel = TLogLevel::None;
    TAfterDownload AfterDownload = TAfterDownload::Nothing;
    std::string ProxyServer;
    // 0 to 60.
    int PauseSeconds = 1;
    bool PassiveFtp = false;
    // 1 to MaxSimultaneousTransfers.
    int SimultaneousTransfers = DefaultSimultaneousTransfers;
    // Bytes per second, 0 for no limit.
    std::int64_t LimitRate = 0;
    std::string CookiesFile;
    std::string SaveCookiesFile;
    std::string UserAgent;
    std::vector<std::string> ExtraHeaders;
    bool CheckChecksums = true;

    static TRunSettings Of(const TRunPreferences& preferences);
};
