#pragma once

#include <string>
#include <string_view>

// The n-th field (from 1) of text split at every separator; empty fields count. Empty when
// there are fewer fields.
std::string NthField(std::string_view text, char separator, int n);

// The 1-based position of the n-th occurrence of c, or the length plus one when there are fewer.
int NthCharPos(std::string_view text, char c, int n);
