#include "robot/runpreferences.h"

#include <algorithm>

#include "platform/bytetext.h"

TRunSettings TRunSettings::Of(const TRunPreferences& preferences)
{
    TRunSettings settings;
    settings.FilterText = std::string(bytetext::Trim(preferences.FilterText()));
    settings.FilterMode = preferences.FilterMode();
    settings.Overwrite = preferences.Overwrite();
    settings.SaveImages = preferences.SaveImages();
    settings.PrintFiles = preferences.PrintFiles();
    settings.Retries = preferences.Retries();
    settings.TimeOut = preferences.TimeOut();
    settings.LogLevel = preferences.LogLevel();
    settings.AfterDownload = preferences.AfterDownload();
    settings.ProxyServer = preferences.ProxyServer();
    settings.PauseSeconds = std::clamp(preferences.PauseSeconds(), 0, 60);
    settings.PassiveFtp = preferences.PassiveFtp();
    settings.SimultaneousTransfers =
        std::clamp(preferences.SimultaneousTransfers(), 1, MaxSimultaneousTransfers);
    settings.LimitRate = std::max<std::int64_t>(preferences.LimitRate(), 0);
    settings.CookiesFile = preferences.CookiesFile();
    settings.SaveCookiesFile = preferences.SaveCookiesFile();
    settings.UserAgent = preferences.UserAgent();
    settings.ExtraHeaders = preferences.ExtraHeaders();
    settings.CheckChecksums = preferences.CheckChecksums();
    return settings;
}
