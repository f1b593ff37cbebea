#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A list of text lines in which header lines ("name: value") are found and set by name.
// The HTTP client keeps its request line and headers in one.
class TExStringList
{
  public:
    std::size_t Count() const { return lines.size(); }
    const std::string& operator[](std::size_t index) const { return lines[index]; }
    std::string& operator[](std::size_t index) { return lines[index]; }
    const std::vector<std::string>& Lines() const { return lines; }

    void Add(std::string line);
    void Insert(std::size_t index, std::string line);
    void Delete(std::size_t index);
    void Clear() { lines.clear(); }
    // Every line followed by CR LF.
    std::string Text() const;

    // A sorted list is kept in name order and searched by halving.
    bool Sorted() const { return sorted; }
    void SetSorted(bool value);

    // Index of the first line whose name (text before its first ":") equals name, ignoring case; or -1.
    int IndexOfHeader(std::string_view name) const;
    // A non-empty value sets "name: value" in place or at the end; an empty value removes the line.
    void SetHeaderValue(std::string_view name, std::string_view value);

  private:
    std::vector<std::string> lines;
    bool sorted = false;
};
