#include "cli/linkscommand.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "robot/savepaths.h"
#include "cli/arguments.h"
#include "cli/usage.h"
#include "links/linkextraction.h"
#include "links/patent.h"
#include "links/urlresolution.h"
#include "platform/exception.h"

namespace
{
const char* const LinksUsage = UsageText("links");

struct LinksOptions
{
    std::string pageFile;
    std::string filter;
    TFilterMode mode = TFilterMode::Contains;
    bool images = false;
    std::string pageUrl;
    std::string outputDir;
};

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "kestrow-cli links: %s\n%s", message.c_str(), LinksUsage);
    return 2;
}

void WriteLine(std::string& out, std::string& address, const LinksOptions& options, const TURLParts& page,
               const std::string& entry, bool patentPage, const std::string& patentNumber, int position)
{
    out.clear();
    std::string outputPath;
    try
    {
        outputPath = FileOutputPath(options.outputDir, entry, patentPage, patentNumber, position);
    }
    catch (const Exception& error)
    {
        std::fprintf(stderr, "%s\n", error.what());
    }
    out += entry;
    out += '\t';
    ResolveLink(page, entry, address);
    out += address;
    out += '\t';
    out += outputPath;
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stdout);
}
} // namespace

int LinksCommand(int argc, char* argv[])
{
    TArguments arguments(argc, argv);
    if (arguments.WantsHelp())
    {
        std::fputs(LinksUsage, stdout);
        return 0;
    }
    LinksOptions options;
    try
    {
        while (arguments.Next())
        {
            const std::string_view argument = arguments.Current();
            if (argument == "--ends-with")
                options.mode = TFilterMode::EndsWith;
            else if (argument == "--images")
                options.images = true;
            else if (argument == "--filter")
                options.filter = arguments.Value();
            else if (argument == "--page-url")
                options.pageUrl = arguments.Value();
            else if (argument == "--out")
                options.outputDir = AddBackslash(arguments.Value());
            else if (argument.starts_with("--") || !options.pageFile.empty())
                throw arguments.Unexpected();
            else
                options.pageFile = argument;
        }
    }
    catch (const TUsageError& error)
    {
        return UsageError(error.message);
    }

    const TURLParts pageParts = SplitURL(options.pageUrl);
    const bool patentPage = IsPatentScheme(pageParts.Scheme);
    if (options.pageFile.empty() && !patentPage)
        return UsageError("no page file given");

    TLinkList links;
    std::string resolveAgainst = options.pageUrl;
    try
    {
        if (options.pageFile.empty())
            PatentPageLinks(pageParts.Scheme, pageParts.Host, links,
                            [](const std::string& message)
                            { std::fprintf(stderr, "%s\n", message.c_str()); });
        else
        {
            resolveAgainst =
                ExtractLinks(options.pageFile, options.filter, options.mode, links, options.pageUrl);
            if (options.images)
                ExtractImageLinks(options.pageFile, links);
        }
    }
    catch (const Exception& error)
    {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }

    // Relative links lead where the page's <base> says, if it has one.
    const TURLParts page = SplitURL(resolveAgainst);
    const bool patentNames = patentPage && options.pageFile.empty();
    std::string line;
    std::string address;
    for (std::size_t i = 0; i < links.Count(); ++i)
        WriteLine(line, address, options, page, links[i], patentNames, pageParts.Host,
                  static_cast<int>(i) + 1);
    return 0;
}
