#include <gtest/gtest.h>

#include <sys/stat.h>

#include "clirun.h"
#include "tempdir.h"

TEST(KestrowCliLinks, OneTabSeparatedLinePerLink)
{
    TempDir dir;
    const std::string page =
        dir.Write("page.html", "<a href=\"docs/A.zip\">a</a><A HREF=../up.zip>\r\n"
                               "<a href=http://mirror/d/e.zip><a href=sub/>"
                               "<a href=b.txt><img src=pic.gif><a href=ftp://h/pub/f.zip>");
    const CliResult result = RunCli({"links", Q(page), "--filter", ".zip", "--page-url",
                                     "http://server/dir/list.html", "--out", "/tmp/out"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "docs/A.zip\thttp://server/dir/docs/A.zip\t/tmp/out/docs/A.zip\n"
                          "../up.zip\thttp://server/dir/../up.zip\t/tmp/out/up.zip\n"
                          "http://mirror/d/e.zip\thttp://mirror/d/e.zip\t/tmp/out/http---mirror-d-e.zip\n"
                          "ftp://h/pub/f.zip\tftp://h/pub/f.zip\t/tmp/out/pub/f.zip\n");

    const CliResult all = RunCli({"links", Q(page), "--filter", "", "--images", "--ends-with", "--out", "o"});
    EXPECT_NE(all.out.find("sub/\thttp:///sub/\to/sub.html\n"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("b.txt\t"), std::string::npos);
    EXPECT_EQ(all.out.substr(all.out.find("\npic.gif") + 1), "pic.gif\thttp:///pic.gif\to/pic.gif\n");

    const CliResult endsWith = RunCli({"links", Q(page), "--filter", ".TXT", "--ends-with"});
    EXPECT_EQ(endsWith.out, "b.txt\thttp:///b.txt\tb.txt\n");
}

TEST(KestrowCliLinks, HttpsLinksAreResolvedAndNamedAsARunWould)
{
    TempDir dir;
    const std::string page = dir.Write(
        "page.html", "<a href=files/a.zip><a href=HTTPS://Mirror:8443/d/e.zip><a href=https/f.zip>");
    const CliResult result = RunCli({"links", Q(page), "--filter", ".zip", "--page-url",
                                     "https://server/dir/list.html", "--out", "/tmp/out"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(
        result.out,
        "files/a.zip\thttps://server/dir/files/a.zip\t/tmp/out/files/a.zip\n"
        "HTTPS://Mirror:8443/d/e.zip\tHTTPS://Mirror:8443/d/e.zip\t/tmp/out/HTTPS---Mirror-8443-d-e.zip\n"
        "https/f.zip\thttps://server/dir/https/f.zip\t/tmp/out/https/f.zip\n");
}

TEST(KestrowCliLinks, PathsOutsideTheOutputDirectoryAreRefused)
{
    TempDir dir;
    const std::string page = dir.Write("page.html", "<a href=..><a href=ok.zip>");
    const CliResult result = RunCli({"links", Q(page), "--filter", "", "--out", "out"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "..\thttp:///..\t\nok.zip\thttp:///ok.zip\tout/ok.zip\n");
    EXPECT_EQ(result.err, "Invalid file out/..\n");
}

TEST(KestrowCliLinks, PatentDocumentsListTheirPageQueries)
{
    const CliResult result = RunCli({"links", "--page-url", "patent://EP123456B1", "--out", "pdf"});
    EXPECT_EQ(result.exitCode, 0);
    const std::string first = result.out.substr(0, result.out.find('\n'));
    EXPECT_NE(first.find("PN=EP0123456&ID=EP+++0123456B1+I+&PG=1\t"), std::string::npos) << first;
    EXPECT_EQ(first.substr(first.rfind('\t') + 1), "pdf/EP123456B1_P001.pdf");
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 500);

    const CliResult bad = RunCli({"links", "--page-url", "patent://GB"});
    EXPECT_EQ(bad.exitCode, 0);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "Patent numeric parse error: \n");
}

TEST(KestrowCliLinks, ErrorsAndHelp)
{
    const CliResult missing = RunCli({"links", "/nonexistent/page.html"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "Cannot open file \"/nonexistent/page.html\". No such file or directory\n");
    TempDir dir;
    const std::string fifo = dir.Path() + "page.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const CliResult waiting = RunCli({"links", Q(fifo)});
    EXPECT_EQ(waiting.exitCode, 2);
    EXPECT_EQ(waiting.err, fifo + " is not a regular file\n");
    EXPECT_EQ(RunCli({"links"}).exitCode, 2);
    EXPECT_EQ(RunCli({"links", "a", "b"}).exitCode, 2);
    EXPECT_EQ(RunCli({"links", "a", "--filter"}).exitCode, 2);
    EXPECT_EQ(RunCli({"nonsense"}).exitCode, 2);
    const CliResult help = RunCli({"links", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--ends-with"), std::string::npos);
    EXPECT_EQ(RunCli({"--help"}).exitCode, 0);
}
