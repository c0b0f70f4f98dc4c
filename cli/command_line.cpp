// vantrel-flash's command line, read against the option table: the
// command, the options that go with it, and the recorded command.

#include <algorithm>
#include <map>

#include "cli/option_table.h"
#include "commandline/command_line_reader.h"
#include "platform/platform.h"

namespace {

std::string joinedNames(const std::vector<const char *> &names, const char *conjunction)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += i + 1 == names.size() ? std::string(" ") + conjunction + " " : std::string(", ");
        text += names[i];
    }
    return text;
}

std::string commandNames(CommandSet set)
{
    std::vector<const char *> names;
    for (const CommandInfo &info : commandTable())
        if (info.typed && (set & commandBit(info.command)) && info.command != Command::help)
            names.push_back(info.name);
    return joinedNames(names, "and");
}

// Each option that was given, with the values of its occurrences in order.
using Given = std::map<OptionId, std::vector<std::string>>;

void checkCombination(const Options &options, const Given &given)
{
    const auto has = [&](OptionId id) { return given.contains(id); };
    for (const auto &[id, values] : given) {
        const OptionInfo &info = optionInfo(id);
        if (!(info.commands & commandBit(options.command)))
            throw UsageError{std::string(info.name) + " goes with " + commandNames(info.commands) + " only"};
    }
    for (const OptionClash &clash : optionClashes()) {
        std::vector<const char *> present;
        for (OptionId id : clash.options)
            if (has(id))
                present.push_back(optionInfo(id).name);
        if (present.size() > 1) {
            std::vector<const char *> all;
            for (OptionId id : clash.options)
                all.push_back(optionInfo(id).name);
            throw UsageError{joinedNames(all, "and") + " exclude each other" +
                             (clash.why ? std::string(": ") + clash.why : std::string())};
        }
    }
    for (const OptionNeed &need : optionNeeds()) {
        if (!has(need.option) || std::any_of(need.anyOf.begin(), need.anyOf.end(), has))
            continue;
        std::vector<const char *> names;
        for (OptionId id : need.anyOf)
            names.push_back(optionInfo(id).name);
        throw UsageError{std::string(optionInfo(need.option).name) + " goes with " + joinedNames(names, "or") +
                         " only"};
    }
}

// The recorded command: its name, then the options that are part of it in
// the table's order, each with its value as given.
std::vector<std::string> commandWordsOf(const Options &options, const Given &given)
{
    std::vector<std::string> words{nameOf(options.command)};
    for (const OptionInfo &info : optionTable()) {
        const auto found = given.find(info.id);
        if (!info.partOfCommand || found == given.end())
            continue;
        for (const std::string &value : found->second) {
            words.push_back(info.name);
            if (info.takesValue())
                words.push_back(value);
        }
    }
    return words;
}

}  // namespace

Options parseOptions(const std::vector<std::string> &arguments)
{
    std::vector<OptionSyntax> syntax;
    for (const OptionInfo &info : optionTable())
        syntax.push_back({info.name, info.shortName, info.takesValue(), info.repeatable});
    ReadCommandLine read;
    try {
        read = readCommandLine(arguments, syntax);
    } catch (const CommandLineError &e) {
        throw UsageError{e.message};
    }
    Options options;
    Given given;
    for (const auto &[index, values] : read.given)
        given[optionTable()[index].id] = values;
    // Asked for help or the version, that is all that is done.
    for (OptionId id : {OptionId::help, OptionId::version}) {
        if (given.contains(id)) {
            optionInfo(id).apply(options, {});
            options.json = given.contains(OptionId::json);
            return options;
        }
    }

    const std::vector<std::string> &words = read.words;
    if (words.empty())
        throw UsageError{"no command given"};
    const auto command = std::find_if(commandTable().begin(), commandTable().end(),
                                      [&](const CommandInfo &info) { return info.typed && words.front() == info.name; });
    if (command == commandTable().end())
        throw UsageError{"unknown command \"" + words.front() + "\""};
    if (words.size() > 1)
        throw UsageError{"unexpected argument \"" + words[1] + "\""};
    options.command = command->command;
    for (const auto &[id, values] : given)
        for (const std::string &value : values)
            optionInfo(id).apply(options, value);
    checkCombination(options, given);
    options.commandWords = commandWordsOf(options, given);
    return options;
}

const char *productVersion() { return VANTREL_VERSION; }

const char *platformBackend() { return platform::nativeBackendName(); }

std::string versionText()
{
    return std::string("vantrel-flash ") + productVersion() + " (" + platformBackend() + " backend)";
}
