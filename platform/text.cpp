#include "platform/text.h"

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

void AssignStdString(std::string& out, const QString& text)
{
    const QChar* characters = text.constData();
    const qsizetype size = text.size();
    out.resize(static_cast<std::size_t>(size));
    for (qsizetype i = 0; i < size; ++i)
    {
        if (characters[i].unicode() >= 0x80)
        {
            const QByteArray bytes = text.toUtf8();
            out.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
            return;
        }
        out[static_cast<std::size_t>(i)] = static_cast<char>(characters[i].unicode());
    }
}
} // namespace platform
