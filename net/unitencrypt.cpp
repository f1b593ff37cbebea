#include "net/unitencrypt.h"

std::string EncodeGroups(std::string_view bytes, std::string_view alphabet, bool padding)
{
    std::string result;
    result.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3)
    {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        const auto b2 = static_cast<unsigned char>(bytes[i + 2]);
        result += alphabet[b0 >> 2];
        result += alphabet[((b0 << 4) & 48) | (b1 >> 4)];
        result += alphabet[((b1 << 2) & 60) | (b2 >> 6)];
        result += alphabet[b2 & 63];
    }
    const std::size_t left = bytes.size() - i;
    if (left == 1)
    {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        result += alphabet[b0 >> 2];
        result += alphabet[(b0 << 4) & 48];
        if (padding)
            result += "==";
    }
    else if (left == 2)
    {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        result += alphabet[b0 >> 2];
        result += alphabet[((b0 << 4) & 48) | (b1 >> 4)];
        result += alphabet[(b1 << 2) & 60];
        if (padding)
            result += "=";
    }
    return result;
}

std::string EncodeBase64(std::string_view text)
{
    return EncodeGroups(text, Base64Alphabet, true);
}
