#include <gtest/gtest.h>

#include <string>

#include "links/checksumlist.h"

namespace
{
const std::string Sha256A(64, 'a');
const std::string Sha256B = "0123456789ABCDEF0123456789abcdef0123456789abcdef0123456789abcdef";
const std::string Md5(32, 'c');
const std::string Sha512(128, 'd');

std::string Describe(const std::vector<TChecksumEntry>& entries)
{
    std::string text;
    for (const TChecksumEntry& entry : entries)
        text += std::string(ChecksumKindName(entry.Kind)) + " " + entry.Hex + " [" + entry.Name + "]\n";
    return text;
}
} // namespace

TEST(ChecksumList, ReadsTheGnuAndBsdFormsAndPassesOverTheRest)
{
    const std::string list = "\xEF\xBB\xBF" + Sha256A + "  ./plain.iso\r\n" + // BOM, CR LF, leading ./
                             "# a comment\n"
                             "\n" +
                             Sha256B + " *binary mode.iso\n" +                 // binary mark, space in name
                             "\\" + Sha256A + "  back\\\\slash\\nline.iso\n" + // escaped name
                             "SHA512 (dir/bsd.iso) = " + Sha512 + "\n" +       // BSD line names its kind
                             "MD5 (weak.iso) = " + Md5 + "\n" +
                             "SHA256 (short.iso) = abc\n" +    // a sum of the wrong length
                             Sha256A + "x  notahexsum.iso\n" + // not hex
                             Sha256A + " onespace.iso\n" +     // one space only: no GNU line
                             "garbage without a sum\n" + Md5 + "  md5-in-a-sha256-list.iso";
    EXPECT_EQ(
        Describe(ParseChecksumList(list, TChecksumKind::Sha256)),
        "SHA256 " + Sha256A + " [./plain.iso]\n" +
            "SHA256 0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef [binary mode.iso]\n" +
            "SHA256 " + Sha256A + " [back\\slash\nline.iso]\n" + "SHA512 " + Sha512 + " [dir/bsd.iso]\n" +
            "MD5 " + Md5 + " [weak.iso]\n" + "MD5 " + Md5 + " [md5-in-a-sha256-list.iso]\n");

    // A lone sum stands for the file the list is beside; elsewhere it is no entry.
    EXPECT_EQ(Describe(ParseChecksumList(Md5 + "\n", TChecksumKind::Md5, "file.zip")),
              "MD5 " + Md5 + " [file.zip]\n");
    EXPECT_EQ(Describe(ParseChecksumList(Md5 + "\n", TChecksumKind::Md5)), "");
    EXPECT_EQ(Describe(ParseChecksumList("", TChecksumKind::Sha256)), "");

    EXPECT_EQ(ChecksumMatchName("./a.iso"), "a.iso");
    EXPECT_EQ(ChecksumMatchName("dir/sub/a.iso"), "a.iso");
    EXPECT_EQ(ChecksumMatchName("a.iso"), "a.iso");
}

TEST(ChecksumList, KnowsListsByTheirNames)
{
    bool beside = true;
    std::string name;
    EXPECT_EQ(ChecksumListKind("http://h/d/SHA256SUMS", beside), TChecksumKind::Sha256);
    EXPECT_FALSE(beside);
    EXPECT_EQ(ChecksumListKind("sha512sums?x=1", beside), TChecksumKind::Sha512);
    EXPECT_EQ(ChecksumListKind("../MD5SUMS#top", beside), TChecksumKind::Md5);
    EXPECT_EQ(ChecksumListKind("http://h/d/SHA256SUMS.gpg", beside), TChecksumKind::None);
    EXPECT_EQ(ChecksumListKind("http://h/MD5SUMS/readme.txt", beside), TChecksumKind::None);

    EXPECT_EQ(ChecksumListKind("http://h/d/file.iso.sha256?mirror=2", beside, &name), TChecksumKind::Sha256);
    EXPECT_TRUE(beside);
    EXPECT_EQ(name, "http://h/d/file.iso");
    EXPECT_EQ(ChecksumListKind("a.zip.MD5", beside, &name), TChecksumKind::Md5);
    EXPECT_EQ(name, "a.zip");
    // A bare ending names no file.
    EXPECT_EQ(ChecksumListKind("http://h/.sha512", beside), TChecksumKind::None);
}
