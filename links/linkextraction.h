#pragma once

#include <string>
#include <string_view>

#include "links/linklist.h"

enum class TFilterMode
{
    Contains,
    EndsWith
};

// The page file as the scanner sees it: lines joined with nothing between them (a line ends
// at CR LF or a lone CR; a lone LF stays), cut at the first byte 0x1A. Raises Exception with
// the file system's error when the file cannot be read.
std::string ReadPageText(const std::string& pageFile);
std::string PageTextFromBytes(std::string bytes);

// Clears the list, then appends the page's links that pass the filter, each once, in page order.
void ExtractLinks(const std::string& pageFile, std::string_view filterText, TFilterMode mode,
                  TLinkList& list);
void ExtractLinksFromText(std::string_view pageText, std::string_view filterText, TFilterMode mode,
                          TLinkList& list);

// Appends the page's image sources that the list does not hold yet, unfiltered.
void ExtractImageLinks(const std::string& pageFile, TLinkList& list);
void ExtractImageLinksFromText(std::string_view pageText, TLinkList& list);

// Whether a link passes the file-name filter.
bool PassesFilter(std::string_view link, std::string_view filterText, TFilterMode mode);
