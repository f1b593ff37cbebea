#include "robot/pagelinks.h"

#include <vector>

#include "links/linklist.h"
#include "robot/entrylist.h"

void MergeNewLinks(const TLinkList& seen, const TLinkList& found, TEntryList& target)
{
    std::vector<std::string> fresh;
    for (const std::string& link : found.Items())
        if (!seen.Contains(link))
            fresh.push_back(link);
    target.AddMany(fresh);
}
