#include "net/ftpreply.h"

#include <algorithm>
#include <limits>

#include "platform/bytetext.h"

namespace ftpreply
{
using bytetext::IsDigit;

namespace
{
// "ddd-" opens a reply of several lines; returns its code, or empty.
std::string_view OpeningCode(std::string_view line)
{
    if (line.size() >= 4 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) && line[3] == '-')
        return line.substr(0, 3);
    return {};
}

bool IsLastLineOf(std::string_view code, std::string_view line)
{
    if (line.size() < 3 || line.substr(0, 3) != code)
        return false;
    return line.size() == 3 || line[3] == ' ' || line[3] == '\r' || line[3] == '\n';
}
// A run of decimal digits as a number; -1 when it is empty, holds anything else or does not fit.
std::int64_t DigitsValue(std::string_view digits)
{
    if (digits.empty())
        return -1;
    std::int64_t value = 0;
    for (const char c : digits)
    {
        if (!IsDigit(c) || value > (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10)
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}
} // namespace

TCmdType CommandKind(std::string_view commandLine)
{
    const std::string_view word = commandLine.substr(0, commandLine.find(' '));
    if (bytetext::EqualsNoCase(word, "CWD"))
        return TCmdType::cmdChangeDir;
    if (bytetext::EqualsNoCase(word, "MKD"))
        return TCmdType::cmdMakeDir;
    if (bytetext::EqualsNoCase(word, "DELE"))
        return TCmdType::cmdDelete;
    if (bytetext::EqualsNoCase(word, "RMD"))
        return TCmdType::cmdRemoveDir;
    if (bytetext::EqualsNoCase(commandLine, "PWD"))
        return TCmdType::cmdCurrentDir;
    return TCmdType::cmdOther;
}

bool IsContinuation(std::string_view line)
{
    return (!line.empty() && line[0] == ' ') || (line.size() >= 4 && line[3] == '-');
}

TReplyLines::TReplyLines(std::string_view firstLine)
{
    Next(firstLine);
}

void TReplyLines::Next(std::string_view line)
{
    ++lines;
    bytes += line.size();
    if (!openingCode.empty())
    {
        goesOn = !IsLastLineOf(openingCode, line);
        return;
    }
    goesOn = IsContinuation(line);
    openingCode = OpeningCode(line);
}

std::int64_t SizeFromReply(std::string_view line)
{
    const std::size_t byte = bytetext::FindNoCase(line, "BYTE");
    if (byte == std::string_view::npos)
        return 0;
    std::size_t end = byte;
    while (end > 0 && !IsDigit(line[end - 1]))
        --end;
    if (end == 0)
        return 0;
    std::size_t begin = end;
    while (begin > 0 && IsDigit(line[begin - 1]))
        --begin;
    std::int64_t size = 0;
    for (std::size_t i = begin; i < end; ++i)
    {
        const int digit = line[i] - '0';
        if (size > (std::numeric_limits<std::int64_t>::max() - digit) / 10)
            return 0;
        size = size * 10 + digit;
    }
    return size;
}

std::int64_t AnnouncedSize(std::string_view line)
{
    std::int64_t size = -1;
    for (std::size_t open = line.find('('); open != std::string_view::npos; open = line.find('(', open + 1))
    {
        std::size_t end = open + 1;
        while (end < line.size() && IsDigit(line[end]))
            ++end;
        const std::int64_t value = DigitsValue(line.substr(open + 1, end - open - 1));
        if (value >= 0 && bytetext::EqualsNoCase(line.substr(end, 7), " bytes)"))
            size = value;
    }
    return size;
}

std::int64_t SizeOfFile(std::string_view reply)
{
    reply = bytetext::WithoutLineEnd(reply);
    return reply.starts_with("213 ") ? DigitsValue(bytetext::Trim(reply.substr(4))) : -1;
}

std::string ModificationTime(std::string_view reply)
{
    reply = bytetext::WithoutLineEnd(reply);
    if (!reply.starts_with("213 "))
        return {};
    const std::string_view time = bytetext::Trim(reply.substr(4));
    const std::string_view whole = time.substr(0, 14);
    const std::string_view fraction = time.substr(std::min<std::size_t>(time.size(), 14));
    const auto digits = [](std::string_view text)
    { return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit); };
    if (whole.size() != 14 || !digits(whole) ||
        (!fraction.empty() && (fraction[0] != '.' || !digits(fraction.substr(1)))))
        return {};
    const auto field = [&](std::size_t at, std::size_t length)
    { return DigitsValue(whole.substr(at, length)); };
    const std::int64_t month = field(4, 2);
    const std::int64_t day = field(6, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || field(8, 2) > 23 || field(10, 2) > 59 ||
        field(12, 2) > 60)
        return {};
    return std::string(time);
}

std::string MlsdFileName(std::string_view line)
{
    line = bytetext::WithoutLineEnd(line);
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank + 1 == line.size())
        return {};
    std::string_view facts = line.substr(0, blank);
    while (!facts.empty())
    {
        const std::size_t end = facts.find(';');
        const std::string_view fact = facts.substr(0, end);
        if (bytetext::EqualsNoCase(fact.substr(0, 5), "type="))
            return bytetext::EqualsNoCase(fact.substr(5), "file") ? std::string(line.substr(blank + 1))
                                                                  : std::string();
        facts = end == std::string_view::npos ? std::string_view() : facts.substr(end + 1);
    }
    return std::string(line.substr(blank + 1));
}

std::string NlstName(std::string_view line)
{
    line = bytetext::WithoutLineEnd(line);
    line = line.substr(line.rfind('/') + 1);
    if (line == "." || line == "..")
        return {};
    return std::string(line);
}

int ExtendedPassivePort(std::string_view reply)
{
    const std::size_t open = reply.find('(');
    if (open == std::string_view::npos || open + 5 >= reply.size())
        return 0;
    const char delimiter = reply[open + 1];
    if (reply[open + 2] != delimiter || reply[open + 3] != delimiter)
        return 0;
    int port = 0;
    std::size_t at = open + 4;
    for (; at < reply.size() && IsDigit(reply[at]) && port <= 65535; ++at)
        port = port * 10 + (reply[at] - '0');
    if (at == open + 4 || at >= reply.size() || reply[at] != delimiter || port > 65535)
        return 0;
    return port;
}

int PassivePort(std::string_view reply)
{
    // The numbers may come with or without parentheses; the reply code itself is no part of them.
    for (std::size_t start = 4; start < reply.size(); ++start)
    {
        if (!IsDigit(reply[start]) || IsDigit(reply[start - 1]))
            continue;
        int numbers[6] = {};
        std::size_t at = start;
        int count = 0;
        for (; count < 6; ++count)
        {
            const std::size_t first = at;
            int value = 0;
            while (at < reply.size() && IsDigit(reply[at]) && at - first < 3)
                value = value * 10 + (reply[at++] - '0');
            if (at == first || value > 255 || (at < reply.size() && IsDigit(reply[at])))
                break;
            numbers[count] = value;
            if (count < 5)
            {
                if (at >= reply.size() || reply[at] != ',')
                    break;
                ++at;
            }
        }
        if (count == 6)
            return numbers[4] * 256 + numbers[5];
    }
    return 0;
}

bool IsServerNotice(std::string_view buffered, bool awaitingData)
{
    if (buffered.size() < 4)
        return false;
    const std::string_view code = buffered.substr(0, 3);
    return code == "421" || code == "426" || (awaitingData && code == "425");
}
} // namespace ftpreply
