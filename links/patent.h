#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "links/linklist.h"

// Pseudo-schemes that name a patent document instead of a web page.
inline constexpr std::array<std::string_view, 1> PatentSchemes = {"patent://"};

// The host that answers page queries with one PDF page each.
inline constexpr std::string_view PatentServer = "worldwide.espacenet.com";

inline constexpr int PatentMaxPages = 500;

// True when a scheme ("://" included) is a patent pseudo-scheme, in any letter case.
bool IsPatentScheme(std::string_view scheme);

// Appends the page queries of a patent document (country, number, kind read from the
// patent number text) to the list. A number that is missing or too large is reported through
// showMessage and nothing is appended.
void PatentPageLinks(std::string_view scheme, std::string_view patentNumber, TLinkList& list,
                     const std::function<void(const std::string&)>& showMessage);

// The output file name of the given page (counted from 1): number + "_P" + at least 3 digits + ".pdf".
std::string PatentPageFileName(std::string_view patentNumber, int position);
