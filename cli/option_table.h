#pragma once

// Every command and option of vantrel-flash, declared once: the command
// line is parsed and checked from these tables, and the help text, the
// recorded command and the bash completion are made from them.

#include <span>
#include <string>
#include <vector>

#include "cli/options.h"

// One way of calling a command, as the help shows it.
struct CommandForm {
    const char *synopsis;  // what follows the command's name
    const char *help;      // what it does; lines joined by "\n"
};

struct CommandInfo {
    Command command;
    const char *name;  // as the command line and the JSON name it
    bool typed;        // given as a word; the others through their option (--version)
    std::vector<CommandForm> forms;
};

std::span<const CommandInfo> commandTable();
const char *nameOf(Command command);

// A set of commands.
using CommandSet = unsigned;
constexpr CommandSet commandBit(Command command) { return 1U << static_cast<unsigned>(command); }
constexpr CommandSet everyCommand = ~0U;

enum class OptionId {
    serial,
    port,
    all,
    ifNeeded,
    wait,
    count,
    json,
    simulate,
    realTime,
    timeout,
    record,
    anonymise,
    replay,
    history,
    noHistory,
    requireHistory,
    station,
    since,
    until,
    outcome,
    csv,
    version,
    help,
};

// What a shell can offer for an option's value.
enum class ValueCompletion { none, serialNumber, file, simulation, outcome };

struct OptionInfo {
    OptionId id;
    const char *name;       // "--serial"
    const char *shortName;  // "-V", or nullptr
    const char *valueName;  // "S", or nullptr for an option that takes no value
    ValueCompletion completion;
    bool repeatable;
    CommandSet commands;  // those it changes something for; any other refuses it
    // A recording's command keeps it: it decides what is done to which
    // adapters, rather than where they come from or how results are shown.
    bool partOfCommand;
    const char *help;  // lines joined by "\n"
    // Takes one occurrence's value (empty for an option without one);
    // throws UsageError for a value it cannot take.
    void (*apply)(Options &options, const std::string &value);

    bool takesValue() const { return valueName != nullptr; }
};

std::span<const OptionInfo> optionTable();
const OptionInfo &optionInfo(OptionId id);

// An option that changes something only together with one of others:
// "--count goes with --wait only".
struct OptionNeed {
    OptionId option;
    std::vector<OptionId> anyOf;
};

// Options that exclude each other; `why` says so where the names do not.
struct OptionClash {
    std::vector<OptionId> options;
    const char *why;
};

std::span<const OptionNeed> optionNeeds();
std::span<const OptionClash> optionClashes();
