#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The bytes received and not yet taken. The search for a line end looks at each byte once,
// however the bytes arrive, and the taken front is dropped in bulk rather than on every take,
// so reading a long stream line by line stays linear.
class TReceiveBuffer
{
  public:
    // The taken front is dropped once it is larger than compactAfter and than the unread rest.
    explicit TReceiveBuffer(std::size_t compactAfter = 65536) : compactAfter(compactAfter) {}

    void Append(std::string_view received);
    std::string_view Unread() const { return std::string_view(bytes).substr(start); }
    std::size_t Size() const { return bytes.size() - start; }
    bool Empty() const { return Size() == 0; }
    // Takes count bytes, or all there are, from the front.
    std::string Take(std::size_t count);
    void Clear();
    // The length of the first line, its line feed included; 0 while no line feed has come.
    std::size_t LineLength();
    // Bytes held in memory, the taken front not yet dropped included.
    std::size_t Footprint() const { return bytes.size(); }

  private:
    std::string bytes;
    // Bytes before start are taken; the search for a line feed resumes at searchFrom.
    std::size_t start = 0;
    std::size_t searchFrom = 0;
    std::size_t compactAfter;
};
