// Writes vantrel-flash's bash completion, made from the same command and
// option tables as the program, so that it never lists them a second time
// and never falls behind the program:
//   vantrel-flash-completion > vantrel-flash

#include <cstdio>
#include <string>

#include "cli/option_table.h"
#include "cli/simulate_description.h"
#include "simulation/simulated_faults.h"
#include "update/outcome.h"
#include "update/variant.h"

namespace {

std::string words(const std::string &text) { return "'" + text + "'"; }

}  // namespace

int main()
{
    std::string commandWords;
    for (const CommandInfo &info : commandTable())
        if (info.typed)
            commandWords += (commandWords.empty() ? "" : " ") + std::string(info.name);
    std::string outcomeWords;
    for (const OutcomeInfo &info : outcomes())
        outcomeWords += (outcomeWords.empty() ? "" : " ") + std::string(info.name);
    std::string items;
    for (const SimulateItem &item : simulateItems())
        items += (items.empty() ? "" : " ") + std::string(item.key) + (item.valueName ? "=" : "");

    // For each command, the options that go with it; and the options that
    // take a value, by what completes it.
    std::string optionsByCommand;
    for (const CommandInfo &info : commandTable()) {
        if (!info.typed)
            continue;
        std::string names;
        for (const OptionInfo &option : optionTable())
            if (option.commands & commandBit(info.command))
                names += (names.empty() ? "" : " ") + std::string(option.name);
        optionsByCommand += "        " + std::string(info.name) + ") options=" + words(names) + " ;;\n";
    }
    std::string allOptions;
    std::string valued;
    for (const OptionInfo &option : optionTable()) {
        allOptions += (allOptions.empty() ? "" : " ") + std::string(option.name);
        if (!option.takesValue())
            continue;
        const char *kind = option.completion == ValueCompletion::serialNumber ? "serial"
                           : option.completion == ValueCompletion::file      ? "file"
                           : option.completion == ValueCompletion::simulation ? "simulation"
                           : option.completion == ValueCompletion::outcome    ? "outcome"
                                                                              : "text";
        valued += "        " + std::string(option.name) + ") echo " + kind + " ;;\n";
    }

    std::printf(R"SCRIPT(# bash completion for vantrel-flash                        -*- shell-script -*-
#
# Made by the build from vantrel-flash's own tables of commands and options.

_vantrel_flash_value_kind()
{
    case $1 in
%s        *) return 1 ;;
    esac
}

_vantrel_flash()
{
    local cur prev words cword
    # "=" stays inside a word, so that "--simulate max,fault=cr" is one.
    _init_completion -n = || return

    local commands=%s
    local kind
    if kind=$(_vantrel_flash_value_kind "$prev"); then
        case $kind in
            serial)
                # The serial numbers of the attached adapters, or of the
                # simulated ones the command line has so far.
                local i simulate=()
                for ((i = 1; i < cword - 1; i++)); do
                    [[ ${words[i]} == --simulate ]] && simulate+=(--simulate "${words[i + 1]}")
                done
                COMPREPLY=($(compgen -W "$("${words[0]}" list --json "${simulate[@]}" 2>/dev/null |
                    sed -n 's/^ *"serial": "\([^"]*\)",\{0,1\}$/\1/p')" -- "$cur"))
                ;;
            file)
                _filedir
                ;;
            outcome)
                COMPREPLY=($(compgen -W %s -- "$cur"))
                ;;
            simulation)
                if [[ $cur != *,* ]]; then
                    COMPREPLY=($(compgen -W %s -- "$cur"))
                elif [[ ${cur##*,} == fault=* ]]; then
                    COMPREPLY=($(compgen -P "${cur%%=*}=" -W %s -- "${cur##*=}"))
                else
                    COMPREPLY=($(compgen -P "${cur%%,*}," -W %s -- "${cur##*,}"))
                    [[ ${COMPREPLY[*]} == *= ]] && compopt -o nospace
                fi
                # readline's word starts after the last "=": hand back only that part.
                [[ $cur == *=* && $COMP_WORDBREAKS == *=* ]] && COMPREPLY=("${COMPREPLY[@]#"${cur%%=*}="}")
                ;;
        esac
        return
    fi

    # The command given so far, if any.
    local command= word
    for word in "${words[@]:1:cword-1}"; do
        [[ " $commands " == *" $word "* ]] && command=$word && break
    done
    if [[ $cur == -* ]]; then
        local options=%s
        case $command in
%s        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
} &&
    complete -F _vantrel_flash vantrel-flash

# ex: filetype=sh
)SCRIPT",
                valued.c_str(), words(commandWords).c_str(), words(outcomeWords).c_str(),
                words(simulatedVariantWords(" ")).c_str(),
                words(simulation::simulatedFaultNames(" ")).c_str(), words(items).c_str(), words(allOptions).c_str(),
                optionsByCommand.c_str());
    return 0;
}
