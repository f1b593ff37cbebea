#pragma once

#include <string>
#include <string_view>
#include <vector>

// How an option shows in its command's synopsis line.
enum class TSynopsis
{
    Bracketed,     // [--proxy HOST:PORT]
    JoinsPrevious, // inside the previous option's brackets: [--user NAME --password PW]
    Omitted,
};

// One entry of a list: an option (its name, the value it takes, "" for a switch), a command or
// a word that a list explains. Texts are lines separated by '\n', without their indentation.
struct TUsageTerm
{
    std::string_view term;
    std::string_view value = {};
    std::string_view text = {};
    TSynopsis synopsis = TSynopsis::Bracketed;
};

enum class TUsageBlockKind
{
    Text,       // lines of prose
    Literal,    // lines shown as they are, indented: commands, formats
    Terms,      // a list of words and what they mean
    Options,    // the command's options
    Commands,   // the commands of the program, from their summaries, then the terms given here
    ExitStatus, // what the exit status means
    Examples,   // command lines
};

// One paragraph of a help text; the paragraphs are separated by an empty line.
struct TUsageBlock
{
    TUsageBlockKind kind;
    std::string_view heading = {};
    std::string_view text = {};
    int column = 0; // lists: where the explanations start
    std::vector<TUsageTerm> terms = {};
};

// What --help shows for a command ("" names the program itself), and what the manual page and
// the shell's completion are made from.
struct TCommandUsage
{
    std::string_view name;
    std::string_view operands = {};
    std::string_view summary = {};
    bool optionsInSynopsis = true;   // each option in the synopsis, else "[options]"
    std::string_view otherForm = {}; // a second way to call the command, if any
    std::vector<TUsageBlock> blocks = {};

    // The options of the command, in the order --help lists them.
    std::vector<TUsageTerm> Options() const;
};

// The commands of kestrow-cli, in the order its help lists them.
const std::vector<TCommandUsage>& CommandUsages();
// The usage of the program itself.
const TCommandUsage& ProgramUsage();

// The parts of a command's synopsis after its name: the operands, then each bracketed option
// (or "[options]").
std::vector<std::string> SynopsisParts(const TCommandUsage& usage);

// The help text of a command as --help prints it.
std::string HelpText(const TCommandUsage& usage);
// The help text of the command called name ("" for the program), kept for the program's life.
const char* UsageText(std::string_view name);
