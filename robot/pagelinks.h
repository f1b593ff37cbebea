#pragma once

#include <string>

class TEntryList;
class TLinkList;

// Appends the found entries that the seen list does not hold to the target, in order.
void MergeNewLinks(const TLinkList& seen, const TLinkList& found, TEntryList& target);

// Whether the start of a saved file is an HTML page; title gets its upper-cased title.
bool ReadPageTitle(const std::string& fileName, std::string& title);
