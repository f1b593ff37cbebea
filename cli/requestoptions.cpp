#include "cli/requestoptions.h"

#include "cli/arguments.h"
#include "net/cookiefile.h"
#include "net/cookiejar.h"
#include "net/extraheader.h"
#include "platform/bytetext.h"

bool TRequestOptions::Take(TArguments& arguments)
{
    const std::string_view argument = arguments.Current();
    if (argument == "--limit-rate")
        limitRate = ByteRate("--limit-rate", arguments.Value());
    else if (argument == "--load-cookies")
        loadCookies = arguments.Value();
    else if (argument == "--save-cookies")
        saveCookies = arguments.Value();
    else if (argument == "--user-agent")
    {
        userAgent = arguments.Value();
        if (bytetext::HasControlByte(*userAgent))
            throw TUsageError{"--user-agent may not hold a line break or other control byte"};
    }
    else if (argument == "--header")
    {
        std::string line = arguments.Value();
        if (const std::string refusal = CheckExtraHeader(line); !refusal.empty())
            throw TUsageError{"--header refused: " + refusal};
        headers.push_back(std::move(line));
    }
    else
        return false;
    return true;
}

bool TRequestOptions::ForHttpOnly() const
{
    return loadCookies || !saveCookies.empty() || userAgent || !headers.empty();
}

std::vector<std::string> TRequestOptions::ReadCookies(TCookieJar& jar, std::int64_t now) const
{
    std::vector<std::string> skipped;
    if (!loadCookies)
        return skipped;
    std::vector<TCookieFileProblem> problems;
    std::string reason;
    if (!ReadCookieFile(*loadCookies, jar, now, problems, reason))
        throw TUsageError{"cookies file " + *loadCookies +
                          " not read: " + std::string(bytetext::WithoutLineEnd(reason))};
    for (const TCookieFileProblem& problem : problems)
        skipped.push_back(*loadCookies + " line " + std::to_string(problem.Line) +
                          " skipped: " + problem.Reason);
    return skipped;
}
