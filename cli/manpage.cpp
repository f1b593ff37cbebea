#include "cli/manpage.h"

#include <algorithm>
#include <vector>

#include "cli/usage.h"

namespace
{
struct TEntry
{
    std::string_view term;
    std::string_view text;
};

struct TExample
{
    std::string_view text;
    std::string_view lines;
};

// What only the page says; the rest comes from the help texts.
// clang-format off
constexpr std::string_view Name = "download the files that web pages link to, without a window";

constexpr std::string_view Description =
    "It shares the download robot of Kestrow: links previews what a run would take from a\n"
    "saved page, get fetches one address exactly as a run would, and run performs the whole run of\n"
    "a URL list file. It needs no display, so it serves cron jobs, systemd timers, job schedulers\n"
    "and servers without a desktop.";

const std::vector<TEntry> ExitStatus = {
    {"0", "The command succeeded: the run ended without errors, the reply was below 400, the links\n"
          "were listed."},
    {"1", "The run counted errors, or get had an HTTP error reply (400 and up) or an answer without a\n"
          "body (204, 304)."},
    {"2", "Bad usage, a list or page file that cannot be read, or a transfer of get that failed."},
    {"130", "Stopped by SIGINT (Ctrl+C) or SIGTERM."},
};

const std::vector<TEntry> Environment = {
    {"KESTROW_SETTINGS", "The settings file to use instead of $XDG_CONFIG_HOME/Corvane/Kestrow.json."},
    {"KESTROW_HOME", "The folder taken as the program's own: the log and list files are kept there when it\n"
                     "can be written."},
    {"XDG_CONFIG_HOME", "Where the settings file is kept; ~/.config when unset."},
    {"XDG_DATA_HOME", "The log and list files go to $XDG_DATA_HOME/Kestrow/ when the program's folder\n"
                      "cannot be written (as for an installed copy); ~/.local/share when unset."},
};

const std::vector<TEntry> Files = {
    {"~/.config/Corvane/Kestrow.json", "The settings shared with Kestrow (filter, time-out, retries, pause, transfers at\n"
                                       "once, proxy, log level); created with the installation defaults when missing.\n"
                                       "A run reads them and never changes them."},
    {"~/.local/share/Kestrow/KestrowLog.txt", "The activity log, one line per event, lines ending in CR LF. It lies beside\n"
                                              "the program instead when that folder can be written and is not under /usr."},
    {"LISTFILE", "A URL list file (.kes): one entry per line, ADDRESS->OUTPUT-DIRECTORY/, as the URL\n"
                 "List's Save writes it; an entry without \"->\" takes the folder of --out."},
};

const std::vector<TExample> ExamplesOfPage = {
    {"Every night at 02:30 from the crontab (crontab -e), the output appended to a file:",
     "30 2 * * * /usr/bin/kestrow-cli run /home/me/lists/nightly.kes --log-level 2 >>/home/me/nightly.log 2>&1"},
    {"Through a proxy that asks for a login (other users of the machine can see a password given on the\n"
     "command line in the process list):",
     "kestrow-cli run intranet.kes --proxy proxy.example.org:3128 --proxy-user me --proxy-password secret"},
    {"From an intranet server whose certificate comes from the company's own authority:",
     "kestrow-cli get https://intranet/files/a.zip a.zip --ca-file /etc/ssl/intranet-ca.pem"},
    {"As a systemd user timer, with the units of /usr/share/doc/kestrow/examples/ copied to\n"
     "~/.config/systemd/user/ and the list in ~/lists/nightly.kes:",
     "systemctl --user enable --now kestrow-run@nightly.timer"},
    {"Many list files, four at a time, each run's output in a file of its own; the job log keeps\n"
     "each list's exit status:",
     "parallel -j4 --joblog runs.log 'kestrow-cli run {} >{.}.out 2>&1' ::: lists/*.kes"},
};

constexpr std::string_view SeeAlso =
    "crontab(5), systemd.timer(5), parallel(1); the help page of Kestrow, Help/kesthelp.html in its\n"
    "program folder.";
// clang-format on

// Text as troff shows it, not as requests or escapes.
std::string Roff(std::string_view text)
{
    std::string roff;
    bool lineStart = true;
    for (const char c : text)
    {
        if (lineStart && c == '.')
            roff += "\\&";
        if (c == '\\')
            roff += "\\e";
        else if (c == '-')
            roff += "\\-";
        else if (c == '\'')
            roff += "\\(aq";
        else
            roff += c;
        lineStart = c == '\n';
    }
    return roff;
}

// A synopsis part with its options in bold and the words to replace in italics, kept on one line.
std::string SynopsisPart(std::string_view part)
{
    std::string roff;
    for (std::size_t at = 0; at < part.size();)
    {
        const std::size_t end = std::min(part.find_first_of(" []", at), part.size());
        if (end == at)
        {
            roff += part[at] == ' ' ? std::string("\\ ") : Roff(part.substr(at, 1));
            ++at;
            continue;
        }
        const std::string_view word = part.substr(at, end - at);
        if (word.front() == '-')
            roff += "\\fB" + Roff(word) + "\\fR";
        else if (word == "options")
            roff += Roff(word);
        else
            roff += "\\fI" + Roff(word) + "\\fR";
        at = end;
    }
    return roff;
}

// The ways to call a command, each with its wrapped lines indented under the first.
std::string Synopsis(std::string_view name, const std::vector<std::string>& parts)
{
    std::string roff = ".SY kestrow\\-cli\\ " + Roff(name) + "\n";
    for (const std::string& part : parts)
        roff += SynopsisPart(part) + "\n";
    return roff + ".YS\n";
}

std::string Entry(std::string_view termRoff, std::string_view text)
{
    return ".TP\n" + std::string(termRoff) + "\n" + Roff(text) + "\n";
}

std::string Entries(const std::vector<TEntry>& entries)
{
    std::string roff;
    for (const TEntry& entry : entries)
        roff += Entry(".B " + Roff(entry.term), entry.text);
    return roff;
}

std::string Literal(std::string_view lines)
{
    return ".PP\n.RS 4\n.nf\n" + Roff(lines) + "\n.fi\n.RE\n";
}

std::string OptionTerm(const TUsageTerm& option)
{
    if (option.value.empty())
        return ".B " + Roff(option.term);
    return ".BI \"" + Roff(option.term) + " \" " + Roff(option.value);
}

std::string Heading(std::string_view heading)
{
    return heading.empty() ? std::string() : ".PP\n" + Roff(heading) + "\n";
}

// The paragraphs of a help text; more is added after the first.
std::string Blocks(const TCommandUsage& usage, std::string_view more = {})
{
    std::string roff;
    for (const TUsageBlock& block : usage.blocks)
    {
        if (&block == &usage.blocks[1] && !more.empty())
            roff += ".PP\n" + Roff(more) + "\n";
        switch (block.kind)
        {
        case TUsageBlockKind::Text:
            roff += ".PP\n" + Roff(block.text) + "\n";
            break;
        case TUsageBlockKind::Literal:
            roff += Literal(block.text);
            break;
        case TUsageBlockKind::Examples:
            roff += Heading(block.heading) + Literal(block.text);
            break;
        case TUsageBlockKind::Terms:
            roff += Heading(block.heading);
            for (const TUsageTerm& term : block.terms)
                roff += Entry(".B " + Roff(term.term), term.text);
            break;
        case TUsageBlockKind::Options:
            roff += Heading(block.heading);
            for (const TUsageTerm& option : block.terms)
                roff += Entry(OptionTerm(option), option.text);
            break;
        case TUsageBlockKind::Commands:
            roff += Heading(block.heading);
            for (const TCommandUsage& command : CommandUsages())
                roff += Entry(".BR " + Roff(command.name) + " \" " + Roff(command.operands) + " [options]\"",
                              command.summary);
            for (const TUsageTerm& term : block.terms)
                roff += Entry(".B " + Roff(term.term), term.text);
            break;
        case TUsageBlockKind::ExitStatus:
            roff += ".PP\nExit status: " + Roff(block.text) + "\n";
            break;
        }
    }
    return roff;
}
} // namespace

std::string ManPage(std::string_view version, std::string_view date)
{
    std::string roff =
        ".TH KESTROW\\-CLI 1 " + Roff(date) + " \"Kestrow " + Roff(version) + "\" \"User Commands\"\n";
    // Options and paths are neither hyphenated nor stretched.
    roff += ".nh\n.ad l\n";
    roff += ".SH NAME\nkestrow\\-cli \\- " + Roff(Name) + "\n";
    roff += ".SH SYNOPSIS\n";
    for (const TCommandUsage& command : CommandUsages())
    {
        roff += Synopsis(command.name, SynopsisParts(command));
        if (!command.otherForm.empty())
            roff += Synopsis(command.name, {std::string(command.otherForm)});
    }
    roff += Synopsis("help", {});
    roff += ".SH DESCRIPTION\n" + Blocks(ProgramUsage(), Description);
    roff += ".SH COMMANDS\n";
    for (const TCommandUsage& command : CommandUsages())
        roff += ".SS " + Roff(command.name) + "\n" + Blocks(command);
    roff += ".SH \"EXIT STATUS\"\n" + Entries(ExitStatus);
    roff += ".SH ENVIRONMENT\n" + Entries(Environment);
    roff += ".SH FILES\n" + Entries(Files);
    roff += ".SH EXAMPLES\n";
    for (const TExample& example : ExamplesOfPage)
        roff += ".PP\n" + Roff(example.text) + "\n" + Literal(example.lines);
    roff += ".SH \"SEE ALSO\"\n" + Roff(SeeAlso) + "\n";
    return roff;
}
