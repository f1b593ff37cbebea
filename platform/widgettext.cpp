#include "platform/widgettext.h"

namespace platform
{
namespace
{
// The length of the UTF-8 sequence that starts at text[at], or 0 when none does (a stray
// continuation byte, an overlong or cut sequence, a surrogate, a code beyond U+10FFFF).
std::size_t Utf8Length(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
        return 0;
    return length;
}
} // namespace

QString ToQString(const std::string& text)
{
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    std::size_t at = 0;
    while (at < text.size())
    {
        // Whole runs of valid UTF-8 at once; each stray byte as its stand-in.
        std::size_t end = at;
        while (end < text.size())
        {
            const std::size_t length = Utf8Length(text, end);
            if (length == 0)
                break;
            end += length;
        }
        result += QString::fromUtf8(text.data() + at, static_cast<qsizetype>(end - at));
        if (end < text.size())
        {
            result += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(text[end])));
            ++end;
        }
        at = end;
    }
    return result;
}

std::string ToStdString(const QString& text)
{
    std::string result;
    result.reserve(static_cast<std::size_t>(text.size()));
    qsizetype from = 0;
    for (qsizetype at = 0; at <= text.size(); ++at)
    {
        const bool stray = at < text.size() && text[at].unicode() >= 0xDC80 && text[at].unicode() <= 0xDCFF &&
                           (at == 0 || !text[at - 1].isHighSurrogate());
        if (at < text.size() && !stray)
            continue;
        result += QStringView(text).mid(from, at - from).toUtf8().toStdString();
        if (stray)
            result += static_cast<char>(text[at].unicode() - 0xDC00);
        from = at + 1;
    }
    return result;
}
} // namespace platform
