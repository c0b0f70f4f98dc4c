#include "cli/option_table.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "cli/simulate_description.h"
#include "history/time_bounds.h"
#include "update/outcome.h"
#include "platform/table_row.h"


namespace {

constexpr CommandSet adapterCommands =
    commandBit(Command::list) | commandBit(Command::info) | commandBit(Command::install) | commandBit(Command::verify);
constexpr CommandSet chosenAdapterCommands =
    commandBit(Command::info) | commandBit(Command::install) | commandBit(Command::verify);
constexpr CommandSet workCommands = commandBit(Command::install) | commandBit(Command::verify);
constexpr CommandSet installOnly = commandBit(Command::install);
constexpr CommandSet historyOnly = commandBit(Command::history);
// The commands whose work on adapters the history keeps, and those that
// name its store.
constexpr CommandSet keepingCommands = workCommands;
constexpr CommandSet historyCommands = keepingCommands | historyOnly;

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

history::HistoryLocation locationFrom(const std::string &text)
{
    try {
        return history::parseLocation(text);
    } catch (const history::HistoryError &e) {
        throw UsageError{std::string("--history: ") + e.what()};
    }
}

history::TimePoint timeFrom(const char *option, const std::string &text,
                            std::optional<history::TimePoint> (*parse)(std::string_view))
{
    if (const std::optional<history::TimePoint> time = parse(text))
        return *time;
    throw UsageError{std::string(option) + " wants a day or a time such as 2025-05-20, \"2025-05-20 13:45\" or " +
                     "2025-05-20T13:45:12+02:00, not \"" + text + "\""};
}

std::string outcomeNames()
{
    std::string names;
    for (const OutcomeInfo &info : outcomes())
        names += (names.empty() ? "" : ", ") + std::string(info.name);
    return names;
}

std::string outcomeFrom(const std::string &text)
{
    for (const OutcomeInfo &info : outcomes())
        if (text == info.name)
            return text;
    throw UsageError{"--outcome wants one of " + outcomeNames() + ", not \"" + text + "\""};
}

// Made once, when the table is: what the build can reach decides the text.
const char *historyHelp()
{
    static const std::string help =
        std::string("keep the history in the SQLite file PATH") +
        (history::serversSupported()
             ? ", or in the PostgreSQL database that a postgresql:// URL names (a line's stations share one)"
             : " (this build keeps files only: it cannot reach a postgresql:// server)") +
        "; install and verify keep every result there, history reads it. Default: the location in "
        "VANTREL_HISTORY_URL, else history.sqlite in the user's data folder. A simulated run is kept only here, a "
        "replay never";
    return help.c_str();
}

const char *outcomeHelp()
{
    static const std::string help = "history: only entries of that outcome (" + outcomeNames() + ")";
    return help.c_str();
}

const std::vector<CommandInfo> commands = {
    {Command::list, "list", true,
     {{"", "every attached adapter with its port and its installed and carried firmware"}}},
    {Command::info, "info", true,
     {{"[--serial S | --port P]", "one adapter in detail, with the carried release history"}}},
    {Command::install, "install", true,
     {{"[--serial S | --port P | --all] [--if-needed]", "install the carried firmware, then read the adapter again"},
      {"--wait [--count N] [--if-needed] [--serial S | --port P]",
       "station mode: install each adapter the moment it is plugged in, while others are still being installed, once until it is removed, until stopped or N adapters are done"}}},
    {Command::verify, "verify", true,
     {{"[--serial S | --port P | --all]",
       "compare the flash with the carried firmware by CRC; erases and writes nothing"}}},
    {Command::history, "history", true,
     {{"[--serial S] [--since DATE] [--until DATE] [--outcome KIND] [--station NAME] [--json | --csv]",
       "what was installed on which adapter, when and where: the history's entries, newest last"}}},
    {Command::help, "help", true, {{"", "this text"}}},
    {Command::version, "version", false, {}},
};

const std::vector<OptionInfo> options = {
    {OptionId::serial, "--serial", nullptr, "S", ValueCompletion::serialNumber, false,
     chosenAdapterCommands | historyOnly, true, "the adapter with serial number S (history: its entries)",
     [](Options &o, const std::string &v) { o.serialNumber = nonEmpty("--serial", v); }},
    {OptionId::port, "--port", nullptr, "P", ValueCompletion::none, false, chosenAdapterCommands, true,
     "the adapter at USB port P, as list shows it",
     [](Options &o, const std::string &v) { o.port = nonEmpty("--port", v); }},
    {OptionId::all, "--all", nullptr, nullptr, ValueCompletion::none, false, workCommands, true,
     "every attached supported adapter, all at once",
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
    {OptionId::history, "--history", nullptr, "PATH|URL", ValueCompletion::file, false, historyCommands, false,
     historyHelp(), [](Options &o, const std::string &v) { o.historyLocation = locationFrom(v); }},
    {OptionId::noHistory, "--no-history", nullptr, nullptr, ValueCompletion::none, false, keepingCommands, false,
     "keep no history of this command's work", [](Options &o, const std::string &) { o.noHistory = true; }},
    {OptionId::requireHistory, "--require-history", nullptr, nullptr, ValueCompletion::none, false, keepingCommands,
     false,
     "the history must keep every result: begin no adapter, and stop a station, while its store cannot take an entry (exit code 4); an entry it could not take waits in the spool",
     [](Options &o, const std::string &) { o.requireHistory = true; }},
    {OptionId::station, "--station", nullptr, "NAME", ValueCompletion::none, false, historyCommands, false,
     "the station's name in the history (default: the host name); history: only that station's entries",
     [](Options &o, const std::string &v) { o.station = nonEmpty("--station", v); }},
    {OptionId::since, "--since", nullptr, "DATE", ValueCompletion::none, false, historyOnly, false,
     "history: only entries from DATE on (2025-05-20, \"2025-05-20 13:45\", in local time unless it ends in Z or an offset such as +02:00)",
     [](Options &o, const std::string &v) { o.since = timeFrom("--since", v, history::parseSince); }},
    {OptionId::until, "--until", nullptr, "DATE", ValueCompletion::none, false, historyOnly, false,
     "history: only entries up to the end of DATE (all of that day, or all of that minute)",
     [](Options &o, const std::string &v) { o.until = timeFrom("--until", v, history::parseUntil); }},
    {OptionId::outcome, "--outcome", nullptr, "KIND", ValueCompletion::outcome, false, historyOnly, false,
     outcomeHelp(), [](Options &o, const std::string &v) { o.outcome = outcomeFrom(v); }},
    {OptionId::csv, "--csv", nullptr, nullptr, ValueCompletion::none, false, historyOnly, false,
     "history: the entries as CSV for a spreadsheet (UTF-8, a header row)",
     [](Options &o, const std::string &) { o.csv = true; }},
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
    {{OptionId::json, OptionId::csv}, nullptr},
    {{OptionId::noHistory, OptionId::history}, nullptr},
    {{OptionId::noHistory, OptionId::requireHistory}, nullptr},
    {{OptionId::noHistory, OptionId::station}, nullptr},
    {{OptionId::replay, OptionId::history}, "a replay changes no adapter, so the history keeps nothing of it"},
    {{OptionId::replay, OptionId::requireHistory}, "a replay changes no adapter, so the history keeps nothing of it"},
    {{OptionId::replay, OptionId::station}, "a replay changes no adapter, so the history keeps nothing of it"},
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
