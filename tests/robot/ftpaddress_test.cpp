#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "links/linkextraction.h"
#include "links/linklist.h"
#include "links/urlresolution.h"
#include "messageof.h"
#include "robot/ftpaddress.h"
#include "tempdir.h"

using Names = std::vector<std::string>;

TEST(FolderLinks, TheFilesOfAListingAreLinksFilteredOnceEachInTheServersOrder)
{
    TempDir dir;
    // A name long enough to cross the reader's block, and one too long to be any file's.
    const std::string longName = std::string(65500, 'y') + ".zip";
    const std::string mlsd =
        dir.Write("mlsd.txt", "type=cdir;modify=20240101000000; .\r\n"
                              "type=pdir;modify=20240101000000; ..\r\n"
                              "type=dir;modify=20240101000000; sub.zip\r\n"
                              "Type=File;Size=3;modify=20240101000000; a b;c.zip\r\n"
                              "size=5; untyped.txt\r\n"
                              "type=OS.unix=slink:/x;size=1; link.zip\r\n"
                              "type=file;size=1; 100%.zip\r\n"
                              "type=file;size=1; a%41->.zip\r\n"
                              "type=file;size=1; a b;c.zip\r\n"
                              "type=file;size=1; " +
                                  longName + "\r\ntype=file;size=1; " + std::string(70000, 'x') +
                                  ".zip\r\n"
                                  "type=file;size=1; last.zip");
    TLinkList links;
    FolderLinks(mlsd, true, "", TFilterMode::Contains, links);
    EXPECT_EQ(links.Items(),
              (Names{"a b;c.zip", "untyped.txt", "100%.zip", "a%2541-%3E.zip", longName, "last.zip"}));
    FolderLinks(mlsd, true, ".txt", TFilterMode::EndsWith, links);
    EXPECT_EQ(links.Items(), Names{"untyped.txt"});

    // NLST gives names alone, some servers with the folder before them.
    const std::string nlst = dir.Write("nlst.txt", "a.zip\r\n./b.zip\r\npub/c.txt\n.\r\n..\r\n\r\nsub/\r\n");
    FolderLinks(nlst, false, "", TFilterMode::Contains, links);
    EXPECT_EQ(links.Items(), (Names{"a.zip", "b.zip", "c.txt"}));

    // A link comes back as the name the server gave.
    EXPECT_EQ(SplitFtpAddress(ResolveLink("ftp://h/pub/", "a%2541-%3E.zip")).File, "a%41->.zip");
    EXPECT_EQ(SplitFtpAddress(ResolveLink("ftp://h/pub/", "100%.zip")).File, "100%.zip");
    EXPECT_EQ(SplitFtpAddress(ResolveLink("ftp://h/pub/", "a b;c.zip")).Folder, "/pub/");
    EXPECT_NE(
        MessageOf([&] { FolderLinks(dir.Path() + "missing", false, "", TFilterMode::Contains, links); }),
        "(no exception)");

    // More files than a run could work through fail the listing.
    std::string many;
    for (int i = 0; i <= 1000000; ++i)
        many += std::to_string(i) + ".zip\r\n";
    const std::string endless = dir.Write("many.txt", many);
    EXPECT_EQ(MessageOf([&] { FolderLinks(endless, false, "", TFilterMode::Contains, links); }),
              "Folder listing too long: more than 1000000 entries");
}
