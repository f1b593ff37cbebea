#include "settings/starttime.h"

#include <QLocale>
#include <QTime>

#include "platform/widgettext.h"

std::string TimeSeparator()
{
    // The text between the hours and the minutes of the short format, e.g. "H.mm" gives ".".
    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
    qsizetype start = 0;
    while (start < format.size() && format[start] != u'h' && format[start] != u'H')
        ++start;
    while (start < format.size() && (format[start] == u'h' || format[start] == u'H'))
        ++start;
    qsizetype end = start;
    while (end < format.size() && format[end] != u'm')
        ++end;
    const QString separator = format.mid(start, end - start).remove(u'\'');
    if (end >= format.size() || separator.isEmpty())
        return ":";
    return platform::ToStdString(separator);
}

std::string StartTimeText(const QTime& time)
{
    const QString hours = QStringLiteral("%1").arg(time.hour(), 2, 10, QLatin1Char('0'));
    const QString minutes = QStringLiteral("%1").arg(time.minute(), 2, 10, QLatin1Char('0'));
    return platform::ToStdString(hours) + TimeSeparator() + platform::ToStdString(minutes);
}

std::string StartTimeCellText(int cell)
{
    return StartTimeText(QTime(0, 0).addSecs(cell * 15 * 60));
}
