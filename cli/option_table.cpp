#include "cli/option_table.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "cli/simulate_description.h"
#include "platform/table_row.h"


namespace {

constexpr CommandSet adapterCommands =
    commandBit(Command::list) | commandBit(Command::info) | commandBit(Command::install) | commandBit(Command::verify);
constexpr CommandSet chosenAdapterCommands =
    commandBit(Command::info) | commandBit(Command::install) | commandBit(Command::verify);
constexpr CommandSet workCommands = commandBit(Command::install) | commandBit(Command::verify);
constexpr CommandSet installOnly = commandBit(Command::install);

// A selection that could match nothing, or any adapter that reports no
// serial number, is a mistake on the command line; so is a file of no name.
const std::string &nonEmpty(const char *option, const std::string &value)
{
    if (value.empty())
        throw UsageError{std::string(option) + " needs a value that is not empty"};
    return value;
}

// Whole seconds, or a fraction: "30", "2.5"; at least a millisecond.
std::uint32_t timeoutFrom(const std::string &text)
{
    double seconds = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0.001 && seconds <= 3600))
        throw UsageError{"--timeout wants a number of seconds from 0.001 to 3600, not \"" + text + "\""};
    return static_cast<std::uint32_t>(std::lround(seconds * 1000));
}

unsigned countFrom(const std::string &text)
{
    unsigned count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || count == 0)
        throw UsageError{"--count wants a number of adapters from 1 to " +
                         std::to_string(std::numeric_limits<unsigned>::max()) + ", not \"" + text + "\""};
    return count;
}

const std::vector<CommandInfo> commands = {
    {Command::list, "list", true,
     {{"", "every attached adapter with its port and its installed and carried firmware"}}},
    {Command::info, "info", true,
     {{"[--serial S | --port P]", "one adapter in detail, with the carried release history"}}},
    {Command::install, "install", true,
     {{"[--serial S | --port P | --all] [--if-needed]", "install the carried firmware, then read the adapter again"},
      {"--wait [--count N] [--if-needed] [--serial S | --port P]",
       "station mode: wait for an adapter, install, report, wait until it is removed, and go on with the next one, until stopped or N adapters are done"}}},
    {Command::verify, "verify", true,
     {{"[--serial S | --port P | --all]",
       "compare the flash with the carried firmware by CRC; erases and writes nothing"}}},
    {Command::help, "help", true, {{"", "this text"}}},
    {Command::version, "version", false, {}},
};

const std::vector<OptionInfo> options = {
    {OptionId::serial, "--serial", nullptr, "S", ValueCompletion::serialNumber, false, chosenAdapterCommands, true,
     "the adapter with serial number S",
     [](Options &o, const std::string &v) { o.serialNumber = nonEmpty("--serial", v); }},
    {OptionId::port, "--port", nullptr, "P", ValueCompletion::none, false, chosenAdapterCommands, true,
     "the adapter at USB port P, as list shows it",
     [](Options &o, const std::string &v) { o.port = nonEmpty("--port", v); }},
    {OptionId::all, "--all", nullptr, nullptr, ValueCompletion::none, false, workCommands, true,
     "every attached supported adapter, one after the other",
     [](Options &o, const std::string &) { o.all = true; }},
    {OptionId::ifNeeded, "--if-needed", nullptr, nullptr, ValueCompletion::none, false, installOnly, true,
     "compare first, and install only when the flash differs",
     [](Options &o, const std::string &) { o.ifNeeded = true; }},
    {OptionId::wait, "--wait", nullptr, nullptr, ValueCompletion::none, false, installOnly, true,
     "station mode (see above)", [](Options &o, const std::string &) { o.wait = true; }},
    {OptionId::count, "--count", nullptr, "N", ValueCompletion::none, false, installOnly, true,
     "with --wait: end after N adapters", [](Options &o, const std::string &v) { o.count = countFrom(v); }},
    {OptionId::json, "--json", nullptr, nullptr, ValueCompletion::none, false, everyCommand, false,
     "machine-readable results on standard output (docs/json.md); with --wait, one line of JSON for each adapter as it is done",
     [](Options &o, const std::string &) { o.json = true; }},
    {OptionId::simulate, "--simulate", nullptr, "VARIANT[,ITEM...]", ValueCompletion::simulation, true,
     adapterCommands, false,
     "use a simulated adapter instead of the real ones (repeatable; see Simulated adapters below)",
     [](Options &o, const std::string &v) { o.simulate.push_back(parseSimulation(v, o.simulate.size())); }},
    {OptionId::realTime, "--real-time", nullptr, nullptr, ValueCompletion::none, false, adapterCommands, false,
     "simulated adapters, and replays, take as long as real ones",
     [](Options &o, const std::string &) { o.realTime = true; }},
    {OptionId::timeout, "--timeout", nullptr, "SECONDS", ValueCompletion::none, false, adapterCommands, true,
     "how long to wait for an adapter's answer before giving up on it (default 60)",
     [](Options &o, const std::string &v) { o.timeoutMilliseconds = timeoutFrom(v); }},
    {OptionId::record, "--record", nullptr, "FILE", ValueCompletion::file, false, adapterCommands, false,
     "write every exchange with the adapters to FILE: a recording to attach to a problem report (its format: recordings.md, in the source's docs and the package's documentation)",
     [](Options &o, const std::string &v) { o.recordFile = nonEmpty("--record", v); }},
    {OptionId::anonymise, "--anonymise", nullptr, nullptr, ValueCompletion::none, false, adapterCommands, false,
     "with --record: serial numbers and device paths become placeholders in the recording",
     [](Options &o, const std::string &) { o.anonymise = true; }},
    {OptionId::replay, "--replay", nullptr, "FILE", ValueCompletion::file, false, adapterCommands, false,
     "run the command against the recording FILE instead of adapters; with an anonymised recording, give its placeholders to --serial and --port",
     [](Options &o, const std::string &v) { o.replayFile = nonEmpty("--replay", v); }},
    {OptionId::version, "--version", "-V", nullptr, ValueCompletion::none, false, everyCommand, false,
     "the version and the platform backend",
     [](Options &o, const std::string &) { o.command = Command::version; }},
    {OptionId::help, "--help", "-h", nullptr, ValueCompletion::none, false, everyCommand, false, "this text",
     [](Options &o, const std::string &) { o.command = Command::help; }},
};

const std::vector<OptionNeed> needs = {
    {OptionId::count, {OptionId::wait}},
    {OptionId::anonymise, {OptionId::record}},
    {OptionId::realTime, {OptionId::simulate, OptionId::replay}},
};

const std::vector<OptionClash> clashes = {
    {{OptionId::serial, OptionId::port, OptionId::all}, nullptr},
    {{OptionId::wait, OptionId::all}, nullptr},
    {{OptionId::record, OptionId::replay}, nullptr},
    {{OptionId::replay, OptionId::simulate}, "a replay's adapters are the recorded ones"},
};

}  // namespace

std::span<const CommandInfo> commandTable() { return commands; }

const char *nameOf(Command command)
{
    const CommandInfo *info = rowWhere(commands, &CommandInfo::command, command);
    return info ? info->name : "";
}

std::span<const OptionInfo> optionTable() { return options; }

const OptionInfo &optionInfo(OptionId id)
{
    const OptionInfo *info = rowWhere(options, &OptionInfo::id, id);
    return info ? *info : options.front();
}

std::span<const OptionNeed> optionNeeds() { return needs; }
std::span<const OptionClash> optionClashes() { return clashes; }
