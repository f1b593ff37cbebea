#include "net/stringfields.h"

std::string NthField(std::string_view text, char separator, int n)
{
    int field = 1;
    std::string result;
    for (char c : text)
    {
        if (c == separator)
        {
            if (++field > n)
                break;
        }
        else if (field == n)
            result += c;
    }
    return result;
}

int NthCharPos(std::string_view text, char c, int n)
{
    int count = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == c && ++count == n)
            return static_cast<int>(i) + 1;
    return static_cast<int>(text.size()) + 1;
}
