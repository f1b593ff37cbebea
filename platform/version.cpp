#include "platform/version.h"

#include <QLocale>

#include "platform/widgettext.h"

namespace platform
{
std::string VersionText()
{
    return ToStdString(QLocale().toString(KESTROW_VERSION_MAJOR) + QLocale().decimalPoint() +
                       QStringLiteral(KESTROW_VERSION_MINOR));
}
} // namespace platform
