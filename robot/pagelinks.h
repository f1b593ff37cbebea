#pragma once

class TEntryList;
class TLinkList;

// Appends the found entries that the seen list does not hold to the target, in order.
void MergeNewLinks(const TLinkList& seen, const TLinkList& found, TEntryList& target);
