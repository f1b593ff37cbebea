#include "settings/settings.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/exception.h"
#include "platform/prompt.h"
#include "platform/widgettext.h"
#include "settings/settingsstore.h"
#include "settings/packedlocation.h"

const char* const SettingsKey = "SOFTWARE\\Corvane\\Kestrow\\Settings";

namespace
{
// The one writer of every value, in the stored order; the store itself decides whether
// each value reaches the file at once or with the others.
void WriteValues(TSettingsStore& store, const TSettingsRecord& settings, bool urlContainsChecked)
{
    store.WriteString("Extension", settings.Extension);
    store.WriteString("OutputPath", settings.OutputPath);
    store.WriteString("StartAt", settings.StartAt);
    store.WriteString("ProxyServer", settings.ProxyServer);
    store.WriteInteger("LogLevel", settings.LogLevel);
    store.WriteBool("URLContainsChecked", urlContainsChecked);
    store.WriteInteger("TimeOut", settings.TimeOut);
    store.WriteInteger("Retries", settings.Retries);
    store.WriteInteger("FrmKestrowLoc", settings.FrmKestrowLoc);
    store.WriteInteger("FrmPrefLoc", settings.FrmPrefLoc);
    store.WriteInteger("FrmDirLoc", settings.FrmDirLoc);
    store.WriteInteger("PauseSeconds", settings.PauseSeconds);
    store.WriteInteger("PassiveFtp", settings.PassiveFtp);
    store.WriteInteger("FrmKestrowSize", settings.FrmKestrowSize);
    store.WriteInteger("SimultaneousTransfers", settings.SimultaneousTransfers);
    store.WriteInteger("LimitRate", settings.LimitRateKiB);
    store.WriteString("CookiesFile", settings.CookiesFile);
    store.WriteString("UserAgent", settings.UserAgent);
    store.WriteInteger("CheckChecksums", settings.CheckChecksums);
}
} // namespace

std::string SettingsFileName()
{
    const QString overridden = qEnvironmentVariable("KESTROW_SETTINGS");
    if (!overridden.isEmpty())
        return platform::ToStdString(overridden);
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative paths in XDG_CONFIG_HOME are invalid and are to be ignored.
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return platform::ToStdString(config + QStringLiteral("/Corvane/Kestrow.json"));
}

std::string DefaultOutputPath()
{
    QString downloads = qEnvironmentVariable("XDG_DOWNLOAD_DIR");
    if (downloads.isEmpty() || QDir::isRelativePath(downloads))
        downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty())
        downloads = QDir::homePath() + QStringLiteral("/Downloads");
    while (downloads.size() > 1 && downloads.endsWith(QLatin1Char('/')))
        downloads.chop(1);
    return platform::ToStdString(downloads + QStringLiteral("/Kestrow/"));
}

TSettingsRecord DefaultSettings()
{
    TSettingsRecord settings;
    settings.OutputPath = DefaultOutputPath();
    settings.LogLevel = 2;
    settings.TimeOut = 5;
    settings.Retries = 5;
    settings.FrmKestrowLoc = CentredWindowLocation;
    settings.FrmPrefLoc = CentredWindowLocation;
    settings.FrmDirLoc = CentredWindowLocation;
    return settings;
}

bool InstallDefaultSettings(const std::string& fileName)
{
    if (QFileInfo::exists(platform::ToQString(fileName)))
        return false;
    TSettingsStore store(fileName);
    if (!store.OpenKey(SettingsKey, true))
        return false;
    try
    {
        // All values in one save: a half-installed key would fail every later read.
        store.BeginUpdate();
        WriteValues(store, DefaultSettings(), true);
        store.EndUpdate();
    }
    catch (const Exception&)
    {
        return false;
    }
    return true;
}

void ReadSettings(TSettingsRecord& settings, bool& urlContainsChecked, const std::string& fileName)
{
    InstallDefaultSettings(fileName);
    TSettingsStore store(fileName);
    if (!store.OpenKey(SettingsKey, false))
    {
        platform::ShowMessage(std::string("Cannot open key ") + SettingsKey + "\r\n" + store.LastError());
        return;
    }
    try
    {
        settings.Extension = store.ReadString("Extension");
        settings.OutputPath = store.ReadString("OutputPath");
        settings.StartAt = store.ReadString("StartAt");
        settings.ProxyServer = store.ReadString("ProxyServer");
        settings.LogLevel = store.ReadInteger("LogLevel");
        urlContainsChecked = store.ReadBool("URLContainsChecked");
        settings.TimeOut = store.ReadInteger("TimeOut");
        settings.Retries = store.ReadInteger("Retries");
        settings.FrmKestrowLoc = store.ReadInteger("FrmKestrowLoc");
        settings.FrmPrefLoc = store.ReadInteger("FrmPrefLoc");
        settings.FrmDirLoc = store.ReadInteger("FrmDirLoc");
        // Values later versions added: a file without them keeps the defaults, without a word.
        if (store.ValueExists("PauseSeconds"))
            settings.PauseSeconds = store.ReadInteger("PauseSeconds");
        if (store.ValueExists("PassiveFtp"))
            settings.PassiveFtp = store.ReadInteger("PassiveFtp");
        if (store.ValueExists("FrmKestrowSize"))
            settings.FrmKestrowSize = store.ReadInteger("FrmKestrowSize");
        // Edited by hand, perhaps: a count the run cannot take is brought into its range.
        if (store.ValueExists("SimultaneousTransfers"))
            settings.SimultaneousTransfers =
                std::clamp(store.ReadInteger("SimultaneousTransfers"), 1, MaxStoredTransfers);
        if (store.ValueExists("LimitRate"))
            settings.LimitRateKiB = std::clamp(store.ReadInteger("LimitRate"), 0, MaxStoredLimitRateKiB);
        if (store.ValueExists("CookiesFile"))
            settings.CookiesFile = store.ReadString("CookiesFile");
        if (store.ValueExists("UserAgent"))
            settings.UserAgent = store.ReadString("UserAgent");
        if (store.ValueExists("CheckChecksums"))
            settings.CheckChecksums = store.ReadInteger("CheckChecksums") != 0 ? 1 : 0;
    }
    catch (const Exception& error)
    {
        platform::ShowMessage("Unable to read registry.\rPlease re-install\r" + error.Message());
    }
    store.CloseKey();
}

void WriteSettings(TSettingsRecord& settings, const std::string& editExtension,
                   const std::string& editOutputPath, const QPoint& mainWindowPosition,
                   bool urlContainsChecked, const std::string& fileName)
{
    settings.Extension = editExtension;
    settings.OutputPath = editOutputPath;
    settings.FrmKestrowLoc = PackWindowLocation(mainWindowPosition.x(), mainWindowPosition.y());
    // A settings file removed while the program ran is installed afresh rather than
    // losing this save.
    InstallDefaultSettings(fileName);
    TSettingsStore store(fileName);
    store.OpenKey(SettingsKey, false);
    try
    {
        WriteValues(store, settings, urlContainsChecked);
    }
    catch (const Exception& error)
    {
        platform::ShowMessage("Unable to write to registry.\r" + error.Message());
    }
    store.CloseKey();
}
