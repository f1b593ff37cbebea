#include "cli/usage.h"

#include <algorithm>
#include <map>

using enum TUsageBlockKind;

// The texts of --help. The manual page and the shell's completion are made from them at build
// time: an option added to a command's Options block shows in its help, its synopsis, the page
// and the completion, which offers file names for a value or operand called ...FILE and folder
// names for one called ...DIR.
// clang-format off
const std::vector<TCommandUsage>& CommandUsages()
{
    static const std::vector<TCommandUsage> commands = {
        {
            .name = "links",
            .operands = "PAGEFILE",
            .summary = "list the links a run would take from a saved page, with\n"
                       "their addresses and output files",
            .otherForm = "--page-url patent://NUMBER [--out DIR]",
            .blocks = {
                {Text, "", "Lists what a run would take from a page saved in PAGEFILE, one line per link:"},
                {Literal, "", "ENTRY<tab>ADDRESS<tab>OUTPUT"},
                {Terms, "", "", 11, {
                    {"ENTRY", "", "the File List entry as found on the page (links containing \".cgi\" carry\n"
                                  "\"->\" and a label)"},
                    {"ADDRESS", "", "the entry resolved against the page address"},
                    {"OUTPUT", "", "the file the entry would be saved to under the output directory"},
                }},
                {Options, "Options:", "", 20, {
                    {"--filter", "TEXT", "keep links whose text contains TEXT (any letter case); empty keeps all"},
                    {"--ends-with", "", "keep links that end with TEXT instead"},
                    {"--images", "", "also list the page's image sources, unfiltered, after the links"},
                    {"--page-url", "URL", "the address the page was fetched from (links resolve against it)"},
                    {"--out", "DIR", "the output directory (default: none, paths are relative)"},
                    {"--help", "", "show this text", TSynopsis::Omitted},
                }},
                {Text, "", "With a patent://NUMBER page address and no PAGEFILE, the page queries of that patent\n"
                           "document are listed instead, with their numbered PDF names."},
                {Text, "", "An OUTPUT that would lie outside the output directory is left empty and reported on\n"
                           "standard error as \"Invalid file PATH\"."},
                {ExitStatus, "", "0 on success, 2 when the page file cannot be read or the usage is wrong."},
                {Examples, "Example:",
                 "kestrow-cli links saved.html --filter .zip --page-url http://server/dir/list.html --out downloads"},
            },
        },
        {
            .name = "get",
            .operands = "URL FILE",
            .summary = "fetch one address into FILE with the robot's client and\n"
                       "print the status line and reply code",
            .blocks = {
                {Text, "", "Fetches URL with the robot's HTTP client and writes the response body to FILE. The status\n"
                           "line and the reply code go to standard error."},
                {Options, "Options:", "", 23, {
                    {"--head", "", "send a HEAD request instead of a GET (FILE is still created)"},
                    {"--proxy", "HOST:PORT", "go through an HTTP proxy"},
                    {"--user", "NAME", "user name for Basic authentication"},
                    {"--password", "PW", "password for Basic authentication (sent only with a user name)",
                     TSynopsis::JoinsPrevious},
                    {"--timeout", "SECONDS", "give up when nothing arrives for this long (default 60)"},
                    {"--ca-file", "FILE", "for https://, also trust the certificate authorities in FILE (PEM),\n"
                                          "e.g. that of an intranet server; may be given more than once"},
                    {"--insecure", "", "for https://, accept any certificate: the server is not verified"},
                    {"--passive", "", "for ftp://, make the data connection from this side (EPSV, else PASV),\n"
                                      "as behind a router or firewall"},
                    {"--limit-rate", "RATE", "read at most RATE bytes a second: N, Nk (KiB/s) or NM (MiB/s),\n"
                                             "such as 500k or 1.5M; 0 for no limit"},
                    {"--user-agent", "TEXT", "name TEXT as the User-Agent (by default none is sent)"},
                    {"--header", "HEADER", "add \"Name: value\" to the request; may be given more than once"},
                    {"--load-cookies", "FILE", "send the cookies of FILE (the tab-separated format browsers export)\n"
                                               "that belong to the address"},
                    {"--save-cookies", "FILE", "write the cookies, the file's and those the server set, to FILE\n"
                                               "(readable by you alone)"},
                    {"-v", "", "print every status report of the client"},
                    {"--help", "", "show this text", TSynopsis::Omitted},
                }},
                {Text, "", "Redirects are followed, at most 20 in a row. An https:// address is fetched over TLS; its\n"
                           "certificate must be for the host and come from an authority the system (or --ca-file)\n"
                           "trusts. Through a proxy it goes in a tunnel (CONNECT)."},
                {Text, "", "An ftp://HOST[:PORT]/DIR/FILE address is fetched with the robot's FTP client as an anonymous\n"
                           "user in active mode (passive with --passive, or by itself when the server cannot take\n"
                           "active mode): log in, change to DIR, binary type, download, quit. --head, --proxy and\n"
                           "--user do not apply there."},
                {Text, "", "FILE is replaced only once the whole file has arrived. A transfer that breaks off keeps what\n"
                           "arrived beside FILE (.FILE.part); the next get of the same URL into the same FILE goes on\n"
                           "from there when the server still has the same version. Ctrl+C removes what arrived."},
                {ExitStatus, "", "0 for a reply code below 400, 1 for an HTTP error code (400 and up) or an\n"
                                 "answer without a body (204, 304), 2 when the transfer failed (the reason, or the FTP\n"
                                 "server's error reply, is printed) or the usage is wrong."},
                {Examples, "Examples:",
                 "kestrow-cli get http://server/files/a.zip a.zip --timeout 30\n"
                 "kestrow-cli get https://intranet/files/a.zip a.zip --ca-file /etc/intranet-ca.pem\n"
                 "kestrow-cli get ftp://server/pub/tools/a.zip a.zip -v"},
            },
        },
        {
            .name = "run",
            .operands = "LISTFILE",
            .summary = "perform the run of the Go button over a URL list file,\n"
                       "without a window; for cron jobs and servers",
            .optionsInSynopsis = false,
            .blocks = {
                {Text, "", "Loads the URL List from LISTFILE (one entry per line: ADDRESS->OUTPUT-DIRECTORY) and\n"
                           "performs the run of the Go button without a window, then exits. The stored settings\n"
                           "apply; these options override them for this run only:"},
                {Options, "", "", 25, {
                    {"--test", "", "walk the lists like the Test button: pages are saved, no file"},
                    {"--filter", "TEXT", "keep links whose text contains TEXT (any letter case)"},
                    {"--ends-with", "", "keep links that end with the filter text instead"},
                    {"--out", "DIR", "output directory for entries that name none"},
                    {"--overwrite", "", "fetch files that exist already again"},
                    {"--images", "", "also download the images of each page"},
                    {"--retries", "N", "tries after a failed file, 0 to 999"},
                    {"--timeout", "SECONDS", "give up a transfer after this long without data, 5 to 999"},
                    {"--pause", "SECONDS", "wait this long between two files, 0 to 60 (default 1)"},
                    {"--parallel", "N", "fetch up to N files at once, 1 to 16 (default 4); with a pause each\n"
                                        "server still gets one file at a time"},
                    {"--passive", "", "make FTP data connections from this side (EPSV, else PASV)"},
                    {"--limit-rate", "RATE", "read at most RATE bytes a second over every transfer of the run:\n"
                                             "N, Nk (KiB/s) or NM (MiB/s), such as 500k or 1.5M; 0 for no limit"},
                    {"--no-checksums", "", "do not check files against the checksum lists their pages link"},
                    {"--user-agent", "TEXT", "name TEXT as the User-Agent of every request (default: none)"},
                    {"--header", "HEADER", "add \"Name: value\" to every request; may be given more than once"},
                    {"--load-cookies", "FILE", "send the cookies of FILE (the tab-separated format browsers\n"
                                               "export) to the sites they belong to"},
                    {"--save-cookies", "FILE", "write the run's cookies, the file's and those servers set, to FILE at\n"
                                               "its end (readable by you alone)"},
                    {"--proxy", "HOST:PORT", "go through an HTTP proxy (\"\" for none)"},
                    {"--log-level", "N", "0 none, 1 URLs and errors, 2 also files, 3 also HTTP codes"},
                    {"--print", "", "print every downloaded file (lp)"},
                    {"--start-at", "HH:MM", "wait until this time of day first (a quarter hour: 00, 15, 30, 45)"},
                    {"--user", "NAME", "user name for a web site that asks for a login"},
                    {"--password", "PW", "its password"},
                    {"--proxy-user", "NAME", "user name for a proxy that asks for a login"},
                    {"--proxy-password", "PW", "its password"},
                    {"--ca-file", "FILE", "also trust the certificate authorities in FILE (PEM) for https://\n"
                                          "addresses, e.g. that of an intranet server; may be given more than once"},
                    {"--insecure", "", "accept any certificate of an https:// server in this run: the\n"
                                       "servers are not verified"},
                    {"--help", "", "show this text", TSynopsis::Omitted},
                }},
                {Text, "", "https:// pages and files are fetched over TLS; a server whose certificate is not for its\n"
                           "host, has expired or comes from no trusted authority fails like an unreachable one."},
                {Text, "", "--parallel (else the stored preference) says how many files are fetched at once. With a\n"
                           "pause above 0 each server still gets one file at a time and different servers run at\n"
                           "once; with --pause 0 up to N run at once, at most 6 to one server."},
                {Text, "", "When a page also links SHA256SUMS, SHA512SUMS, MD5SUMS or NAME.sha256, .sha512 or .md5\n"
                           "beside a file, each file such a list names is checked as it arrives; one that does not\n"
                           "match fails (\"Checksum mismatch: expected ... got ...\"), is retried and never replaces\n"
                           "the file of its name."},
                {Text, "", "--header refuses line breaks and the headers Kestrow writes itself (Host, Authorization,\n"
                           "Cookie, Range...); --user-agent and --load-cookies are the ways to send those that\n"
                           "have one. Extra headers go to the sites, never on the tunnel request to a proxy. A\n"
                           "cookies file is only read: its malformed lines are logged with their numbers and\n"
                           "skipped, and one named by --load-cookies that cannot be read stops the run before it\n"
                           "starts (exit 2). Cookies the servers set during the run are sent back for the rest of it;\n"
                           "--save-cookies writes them with the file's own, readable by you alone."},
                {Text, "", "A file that breaks off keeps what arrived beside it; a retry, or the next run of the same\n"
                           "list, goes on from there when the server still has the same version."},
                {Text, "", "Every log line of the run goes to standard output as it is written (and to the log\n"
                           "file). On a terminal, standard error shows the progress; questions are answered No,\n"
                           "logins with --user or --proxy-user (a login asked for without them is cancelled), and\n"
                           "messages go to standard error. Ctrl+C or SIGTERM stops the run like Stop."},
                {ExitStatus, "", "0 when the run ended without errors, 1 when it counted errors,\n"
                                 "2 for bad usage or an unreadable list file, 130 when it was stopped by a signal."},
                {Examples, "Examples:",
                 "kestrow-cli run ~/lists/nightly.kes --filter .zip --log-level 2\n"
                 "# crontab: every night at 02:30, the log appended to a file\n"
                 "30 2 * * * /opt/kestrow/kestrow-cli run /home/me/lists/nightly.kes >>/home/me/kestrow-cron.log 2>&1"},
            },
        },
    };
    return commands;
}

const TCommandUsage& ProgramUsage()
{
    static const TCommandUsage program = {
        .name = "",
        .operands = "COMMAND [ARGUMENTS]",
        .summary = "",
        .optionsInSynopsis = true,
        .blocks = {
            {Text, "", "The command-line companion of Kestrow."},
            {Commands, "Commands:", "", 29, {{"help", "", "show this text"}}},
            {Text, "", "Run \"kestrow-cli COMMAND --help\" for the options of a command."},
            {Examples, "Examples:",
             "kestrow-cli links saved.html --filter .zip --page-url http://server/list.html --out downloads\n"
             "kestrow-cli run nightly.kes --filter .zip --log-level 2"},
        },
    };
    return program;
}
// clang-format on

namespace
{
// Help lines wrap where the synopsis would pass this width.
constexpr std::size_t SynopsisWidth = 80;

// text with every line after the first indented by indent blanks.
std::string Indented(std::string_view text, std::size_t indent)
{
    std::string lines;
    for (const char c : text)
    {
        lines += c;
        if (c == '\n')
            lines.append(indent, ' ');
    }
    return lines;
}

void AppendList(std::string& help, const TUsageBlock& block, const std::vector<TUsageTerm>& terms)
{
    if (!block.heading.empty())
        help.append(block.heading).append("\n");
    const std::size_t column = static_cast<std::size_t>(block.column);
    for (const TUsageTerm& term : terms)
    {
        std::string line = "  " + std::string(term.term);
        if (!term.value.empty())
            line.append(" ").append(term.value);
        line.resize(std::max(column, line.size() + 2), ' ');
        help += line + Indented(term.text, line.size()) + "\n";
    }
}

// The program's list of commands: each command's call and summary; the terms point into calls.
std::vector<TUsageTerm> CommandTerms(const TUsageBlock& block, std::vector<std::string>& calls)
{
    for (const TCommandUsage& command : CommandUsages())
        calls.push_back(std::string(command.name) + " " + std::string(command.operands) + " [options]");
    std::vector<TUsageTerm> terms;
    for (std::size_t at = 0; at < calls.size(); ++at)
        terms.push_back({calls[at], "", CommandUsages()[at].summary});
    terms.insert(terms.end(), block.terms.begin(), block.terms.end());
    return terms;
}
} // namespace

std::vector<TUsageTerm> TCommandUsage::Options() const
{
    std::vector<TUsageTerm> options;
    for (const TUsageBlock& block : blocks)
        if (block.kind == TUsageBlockKind::Options)
            options.insert(options.end(), block.terms.begin(), block.terms.end());
    return options;
}

std::vector<std::string> SynopsisParts(const TCommandUsage& usage)
{
    std::vector<std::string> parts{std::string(usage.operands)};
    if (!usage.optionsInSynopsis)
        parts.push_back("[options]");
    else
        for (const TUsageTerm& option : usage.Options())
        {
            std::string words(option.term);
            if (!option.value.empty())
                words.append(" ").append(option.value);
            if (option.synopsis == TSynopsis::JoinsPrevious && parts.size() > 1)
                parts.back().insert(parts.back().size() - 1, " " + words);
            else if (option.synopsis != TSynopsis::Omitted)
                parts.push_back("[" + words + "]");
        }
    return parts;
}

std::string HelpText(const TCommandUsage& usage)
{
    const std::string call = usage.name.empty() ? "kestrow-cli" : "kestrow-cli " + std::string(usage.name);
    std::string line = "Usage: " + call;
    std::string help;
    for (const std::string& part : SynopsisParts(usage))
    {
        if (line.size() + 1 + part.size() > SynopsisWidth)
        {
            help += line + "\n";
            line.assign(7 + call.size(), ' ');
        }
        else
            line += ' ';
        line += part;
    }
    help += line + "\n";
    if (!usage.otherForm.empty())
        help += "       " + call + " " + std::string(usage.otherForm) + "\n";

    std::vector<std::string> calls;
    for (const TUsageBlock& block : usage.blocks)
    {
        help += "\n";
        switch (block.kind)
        {
        case Text:
            help += std::string(block.text) + "\n";
            break;
        case Literal:
        case Examples:
            if (!block.heading.empty())
                help.append(block.heading).append("\n");
            help += "  " + Indented(block.text, 2) + "\n";
            break;
        case Terms:
        case Options:
            AppendList(help, block, block.terms);
            break;
        case Commands:
            AppendList(help, block, CommandTerms(block, calls));
            break;
        case ExitStatus:
            help += "Exit status: " + std::string(block.text) + "\n";
            break;
        }
    }
    return help;
}

const char* UsageText(std::string_view name)
{
    static const std::map<std::string_view, std::string> texts = []
    {
        std::map<std::string_view, std::string> all{{"", HelpText(ProgramUsage())}};
        for (const TCommandUsage& command : CommandUsages())
            all.emplace(command.name, HelpText(command));
        return all;
    }();
    const auto text = texts.find(name);
    return text == texts.end() ? nullptr : text->second.c_str();
}
