#include "settings/startup.h"

#include <QCoreApplication>

void StartUp(TSettingsRecord& settings, bool& urlContainsChecked)
{
    QCoreApplication::setApplicationName(QStringLiteral("Kestrow"));
    settings.SettingsLoaded = false;
    ReadSettings(settings, urlContainsChecked);
    settings.SettingsLoaded = true;
}
