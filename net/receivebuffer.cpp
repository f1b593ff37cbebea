#include "net/receivebuffer.h"

#include <algorithm>

namespace
{
// A buffer that grew past this gives its memory back when emptied.
constexpr std::size_t KeptCapacity = 1024 * 1024;
} // namespace

void TReceiveBuffer::Append(std::string_view received)
{
    bytes.append(received);
}

std::string TReceiveBuffer::Take(std::size_t count)
{
    count = std::min(count, Size());
    std::string taken = bytes.substr(start, count);
    start += count;
    searchFrom = std::max(searchFrom, start);
    if (start == bytes.size())
        Clear();
    else if (start > compactAfter && start > bytes.size() / 2)
    {
        bytes.erase(0, start);
        searchFrom -= start;
        start = 0;
    }
    return taken;
}

void TReceiveBuffer::Clear()
{
    if (bytes.capacity() > KeptCapacity)
        bytes = std::string();
    else
        bytes.clear();
    start = 0;
    searchFrom = 0;
}

std::size_t TReceiveBuffer::LineLength()
{
    const std::size_t lf = bytes.find('\n', searchFrom);
    if (lf == std::string::npos)
    {
        searchFrom = bytes.size();
        return 0;
    }
    searchFrom = lf;
    return lf + 1 - start;
}
