#include "links/urlsequence.h"

#include <algorithm>

#include "platform/bytetext.h"

std::int64_t SequenceCount(const TURLSequence& sequence)
{
    if (sequence.From > sequence.To)
        return 0;
    if (sequence.Add <= 0)
        return 1;
    return (sequence.To - sequence.From) / sequence.Add + 1;
}

std::string SequenceNumber(std::int64_t counter, int digits)
{
    const bool negative = counter < 0;
    std::uint64_t value =
        negative ? 0 - static_cast<std::uint64_t>(counter) : static_cast<std::uint64_t>(counter);
    char buffer[24];
    char* end = buffer + sizeof buffer;
    char* start = end;
    do
    {
        *--start = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::string number;
    if (negative)
        number += '-';
    if (const int written = static_cast<int>(end - start); written < digits)
        number.append(static_cast<std::size_t>(digits - written), '0');
    number.append(start, end);
    return number;
}

std::vector<std::string> SequenceEntries(const TURLSequence& sequence, std::int64_t first, std::int64_t count)
{
    const std::int64_t total = SequenceCount(sequence);
    first = std::max<std::int64_t>(first, 0);
    count = std::clamp<std::int64_t>(total - first, 0, std::max<std::int64_t>(count, 0));
    const std::string start(bytetext::Trim(sequence.Start));
    const std::string tail = sequence.End + "->" + sequence.OutputDir;
    std::vector<std::string> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (std::int64_t position = first; position < first + count; ++position)
    {
        std::string entry;
        entry.reserve(start.size() + tail.size() + 16);
        entry += start;
        entry += SequenceNumber(sequence.From + position * sequence.Add, sequence.Digits);
        entry += tail;
        entries.push_back(std::move(entry));
    }
    return entries;
}
