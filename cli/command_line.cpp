// The command line, read by CLI11 from the option table: GNU forms
// (--serial=S, "--" before words that are not options, -V), each option
// once unless it may repeat, and only the options that change something for
// the command.

#include <algorithm>
#include <map>
#include <string_view>

#include <CLI/CLI.hpp>

#include "cli/option_table.h"
#include "platform/platform.h"

namespace {

constexpr std::string_view endOfOptions = "--";

const OptionInfo *optionNamed(std::string_view name)
{
    for (const OptionInfo &info : optionTable())
        if (name == info.name || (info.shortName && name == info.shortName))
            return &info;
    return nullptr;
}

// What CLI11 lets pass that the tool refuses: a value glued to an option
// that takes none ("--json=1"), an empty one glued to one that needs it
// ("--serial="), and an option where its value belongs ("--serial --all"),
// which is a forgotten value far more often than a serial number.
void checkValuesAsTyped(const std::vector<std::string> &arguments)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == endOfOptions)
            return;
        const std::size_t equals = argument.find('=');
        if (argument.starts_with("--") && equals != std::string::npos) {
            const OptionInfo *info = optionNamed(std::string_view(argument).substr(0, equals));
            if (info && !info->takesValue())
                throw UsageError{std::string(info->name) + " takes no value"};
            if (info && equals + 1 == argument.size())
                throw UsageError{std::string(info->name) + " needs a value"};
            continue;
        }
        const OptionInfo *info = optionNamed(argument);
        if (info && info->takesValue() && (i + 1 == arguments.size() || arguments[i + 1].starts_with("--")))
            throw UsageError{std::string(info->name) + " needs a value"};
        if (info && info->takesValue())
            ++i;
    }
}

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
    checkValuesAsTyped(arguments);

    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    std::vector<std::string> words;
    app.add_option("words", words);
    std::vector<std::pair<const OptionInfo *, CLI::Option *>> declared;
    for (const OptionInfo &info : optionTable()) {
        const std::string names = info.shortName ? std::string(info.shortName) + "," + info.name : info.name;
        CLI::Option *option = info.takesValue() ? app.add_option(names)->expected(1)->allow_extra_args(false)
                                                : app.add_flag(names);
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        declared.emplace_back(&info, option);
    }
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        throw UsageError{e.what()};
    }
    for (const std::string &extra : app.remaining())
        if (extra != endOfOptions)
            throw UsageError{"unknown option " + extra};

    Options options;
    Given given;
    for (const auto &[info, option] : declared) {
        if (option->count() == 0)
            continue;
        if (option->count() > 1 && !info->repeatable)
            throw UsageError{std::string(info->name) + " is given twice"};
        std::vector<std::string> &values = given[info->id];
        for (const std::string &value : option->results())
            values.push_back(info->takesValue() ? value : std::string());
    }
    // Asked for help or the version, that is all that is done.
    for (OptionId id : {OptionId::help, OptionId::version}) {
        if (given.contains(id)) {
            optionInfo(id).apply(options, {});
            options.json = given.contains(OptionId::json);
            return options;
        }
    }

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
