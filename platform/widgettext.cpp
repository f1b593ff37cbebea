#include "platform/widgettext.h"

namespace platform
{
QString ToQString(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToStdString(const QString& text)
{
    return text.toUtf8().toStdString();
}
} // namespace platform
