#include "cli/completion.h"

#include <string_view>

#include "cli/usage.h"

namespace
{
// The shell code around the tables of the commands, which go where @COMMANDS@ and @CASES@ stand.
// An option whose value ends in FILE or DIR completes file or folder names, any other value
// nothing; operands likewise.
constexpr std::string_view Script = R"(# bash completion for kestrow-cli

_kestrow_cli()
{
    local cur prev words cword
    _init_completion || return

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W '@COMMANDS@ --help' -- "$cur"))
        return
    fi
    local options files folders values operands
    case ${words[1]} in
@CASES@
        *) return ;;
    esac

    if [[ " $files " == *" $prev "* ]]; then
        _filedir
        return
    elif [[ " $folders " == *" $prev "* ]]; then
        _filedir -d
        return
    elif [[ " $values " == *" $prev "* ]]; then
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # Which operand the word is: count the words before it that are neither options nor values.
    local i operand=0
    for ((i = 2; i < cword; i++)); do
        if [[ ${words[i]} == -* ]]; then
            [[ " $files $folders $values " == *" ${words[i]} "* ]] && ((i++))
        else
            ((operand++))
        fi
    done
    local kinds=($operands)
    case ${kinds[operand]} in
        file) _filedir ;;
        folder) _filedir -d ;;
    esac
}
complete -F _kestrow_cli kestrow-cli
)";

std::string_view Kind(std::string_view value)
{
    if (value.ends_with("FILE"))
        return "file";
    if (value.ends_with("DIR"))
        return "folder";
    return "-";
}

std::string Case(const TCommandUsage& command)
{
    std::string options, files, folders, values, operands;
    const auto add = [](std::string& words, std::string_view word)
    { words.append(words.empty() ? "" : " ").append(word); };
    for (const TUsageTerm& option : command.Options())
    {
        add(options, option.term);
        if (!option.value.empty())
        {
            const std::string_view kind = Kind(option.value);
            add(kind == "file" ? files : kind == "folder" ? folders : values, option.term);
        }
    }
    for (std::size_t at = 0, end = 0; at < command.operands.size(); at = end + 1)
    {
        end = std::min(command.operands.find(' ', at), command.operands.size());
        add(operands, Kind(command.operands.substr(at, end - at)));
    }
    return "        " + std::string(command.name) + ")\n            options='" + options +
           "'\n            files='" + files + "'\n            folders='" + folders +
           "'\n            values='" + values + "'\n            operands='" + operands +
           "'\n            ;;\n";
}

void Replace(std::string& text, std::string_view mark, const std::string& by)
{
    text.replace(text.find(mark), mark.size(), by);
}
} // namespace

std::string BashCompletion()
{
    std::string commands, cases;
    for (const TCommandUsage& command : CommandUsages())
    {
        commands.append(command.name).append(" ");
        cases += Case(command);
    }
    std::string script(Script);
    Replace(script, "@COMMANDS@", commands + "help");
    cases.pop_back();
    Replace(script, "@CASES@", cases);
    return script;
}
