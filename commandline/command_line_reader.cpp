#include "commandline/command_line_reader.h"

#include <algorithm>
#include <string_view>

#include <CLI/CLI.hpp>

namespace {

constexpr std::string_view endOfOptions = "--";
constexpr std::size_t helpWidth = 79;  // a terminal of 80 columns never wraps a line

const OptionSyntax *optionNamed(std::span<const OptionSyntax> options, std::string_view name)
{
    for (const OptionSyntax &option : options)
        if (name == option.name || (option.shortName && name == option.shortName))
            return &option;
    return nullptr;
}

// What CLI11 lets pass that the programs refuse: a value glued to an option
// that takes none ("--json=1"), an empty one glued to one that needs it
// ("--serial="), and an option where a value belongs ("--serial --all"),
// which is a forgotten value far more often than a value.
void checkValuesAsTyped(const std::vector<std::string> &arguments, std::span<const OptionSyntax> options)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (argument == endOfOptions)
            return;
        const std::size_t equals = argument.find('=');
        if (argument.starts_with("--") && equals != std::string::npos) {
            const OptionSyntax *option = optionNamed(options, std::string_view(argument).substr(0, equals));
            if (option && !option->takesValue)
                throw CommandLineError{std::string(option->name) + " takes no value"};
            if (option && equals + 1 == argument.size())
                throw CommandLineError{std::string(option->name) + " needs a value"};
            continue;
        }
        const OptionSyntax *option = optionNamed(options, argument);
        if (option && option->takesValue && (i + 1 == arguments.size() || arguments[i + 1].starts_with("--")))
            throw CommandLineError{std::string(option->name) + " needs a value"};
        if (option && option->takesValue)
            ++i;
    }
}

}  // namespace

ReadCommandLine readCommandLine(const std::vector<std::string> &arguments, std::span<const OptionSyntax> options)
{
    checkValuesAsTyped(arguments, options);

    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    ReadCommandLine read;
    app.add_option("words", read.words);
    std::vector<CLI::Option *> declared;
    for (const OptionSyntax &syntax : options) {
        const std::string names = syntax.shortName ? std::string(syntax.shortName) + "," + syntax.name : syntax.name;
        CLI::Option *option = syntax.takesValue ? app.add_option(names)->expected(1)->allow_extra_args(false)
                                                : app.add_flag(names);
        option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        declared.push_back(option);
    }
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        throw CommandLineError{e.what()};
    }
    for (const std::string &extra : app.remaining())
        if (extra != endOfOptions)
            throw CommandLineError{"unknown option " + extra};
    for (std::size_t index = 0; index < options.size(); ++index) {
        const CLI::Option *option = declared[index];
        if (option->count() == 0)
            continue;
        if (option->count() > 1 && !options[index].repeatable)
            throw CommandLineError{std::string(options[index].name) + " is given twice"};
        std::vector<std::string> &values = read.given[index];
        for (const std::string &value : option->results())
            values.push_back(options[index].takesValue ? value : std::string());
    }
    return read;
}

std::string wrappedHelp(const std::string &text, std::size_t column)
{
    const std::string indent = "\n" + std::string(column, ' ');
    std::string lines;
    std::size_t used = column;
    bool lineEmpty = true;
    for (std::size_t start = 0; start < text.size();) {
        if (text[start] == ' ') {
            ++start;
            continue;
        }
        if (text[start] == '\n') {
            lines += indent;
            used = column;
            lineEmpty = true;
            ++start;
            continue;
        }
        const std::size_t end = std::min(text.find_first_of(" \n", start), text.size());
        const std::size_t length = end - start;
        if (!lineEmpty && used + 1 + length > helpWidth) {
            lines += indent;
            used = column;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            lines += ' ';
            ++used;
        }
        lines.append(text, start, length);
        used += length;
        lineEmpty = false;
        start = end;
    }
    return lines + "\n";
}

std::string helpEntry(const std::string &name, const std::string &help, std::size_t column)
{
    std::string text = "  " + name;
    if (text.size() + 1 > column)
        text += "\n" + std::string(column, ' ');
    else
        text.resize(column, ' ');
    return text + wrappedHelp(help, column);
}
