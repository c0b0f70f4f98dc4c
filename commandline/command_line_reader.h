#pragma once

// Reads a command line against a program's declared options, with CLI11:
// GNU forms ("--serial=S", "--" before words that are not options, short
// names such as -V), each option once unless it may repeat, and every
// mistake as one line that says what is wrong. What the values mean is the
// program's; this only sorts the words.

#include <cstddef>
#include <map>
#include <span>
#include <string>
#include <vector>

// How an option is written.
struct OptionSyntax {
    const char *name;       // "--serial"
    const char *shortName;  // "-V", or nullptr
    bool takesValue;
    bool repeatable;
};

struct ReadCommandLine {
    // By the option's place in the declaration: the values of its
    // occurrences in order (empty strings for an option without a value).
    std::map<std::size_t, std::vector<std::string>> given;
    // The words that are no option, in order.
    std::vector<std::string> words;
};

// Thrown with one line that says what is wrong.
struct CommandLineError {
    std::string message;
};

ReadCommandLine readCommandLine(const std::vector<std::string> &arguments, std::span<const OptionSyntax> options);

// Help text: `name` in a column of its own and `help` beside it, wrapped so
// that no line is wider than a terminal of 80 columns. A "\n" in `help`
// starts a new line.
std::string helpEntry(const std::string &name, const std::string &help, std::size_t column);
// Just the text, wrapped from `column` on, its further lines indented to it.
std::string wrappedHelp(const std::string &text, std::size_t column);
