#pragma once

#include <string>
#include <string_view>

inline constexpr std::string_view Base64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Encodes bytes in groups of three as four characters of the alphabet. A last group of one or
// two bytes gives two or three characters; with padding "=" fills it up to four.
std::string EncodeGroups(std::string_view bytes, std::string_view alphabet, bool padding);

// The Base64 form of the text's bytes as one line without a line end (Basic authorization).
std::string EncodeBase64(std::string_view text);
