#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "cli/error_kind.h"
#include "platform/platform.h"

namespace {

std::string errorKindLines()
{
    std::string lines;
    for (const ErrorKindInfo &info : errorKinds()) {
        std::string name = info.name;
        name.resize(std::max<std::size_t>(name.size() + 1, 20), ' ');
        lines += "  " + name + info.meaning + "\n";
    }
    return lines;
}

}  // namespace

std::string usageText()
{
    return
    "Usage: vantrel-flash COMMAND [OPTIONS]\n"
    "\n"
    "Installs the firmware that Vantrel Update carries onto attached Vantrel adapters.\n"
    "\n"
    "Commands:\n"
    "  list                      every attached adapter with its port and its installed and\n"
    "                            carried firmware\n"
    "  info [--serial S | --port P]\n"
    "                            one adapter in detail, with the carried release history\n"
    "  install [--serial S | --port P | --all] [--if-needed]\n"
    "                            install the carried firmware, then re-read the adapter\n"
    "  install --wait [--count N] [--if-needed] [--serial S | --port P]\n"
    "                            station mode: wait for an adapter, install, report, wait\n"
    "                            until it is removed, and go on with the next one, until\n"
    "                            interrupted or N adapters are done\n"
    "  verify [--serial S | --port P | --all]\n"
    "                            compare the flash with the carried firmware by CRC;\n"
    "                            erases and writes nothing\n"
    "  help                      this text\n"
    "\n"
    "Options:\n"
    "  --serial S                the adapter with serial number S\n"
    "  --port P                  the adapter at USB port P, as list shows it\n"
    "  --all                     every attached supported adapter, one after the other\n"
    "  --if-needed               compare first, and install only when the flash differs\n"
    "  --wait                    station mode (see above)\n"
    "  --count N                 with --wait: end after N adapters\n"
    "  --json                    machine-readable results on standard output; with --wait,\n"
    "                            one line of JSON for each adapter as it is done\n"
    "  --simulate VARIANT[,ITEM...]\n"
    "                            use a simulated adapter instead of the real ones (repeatable);\n"
    "                            VARIANT: " + carriedVariants().toolNames() + ";\n"
    "                            ITEM: serial=S, installed, damaged=N, fault=F, port=P, arrive=T, leave=T;\n"
    "                            installed: it holds the carried firmware;\n"
    "                            damaged=N: piece N (from 0) of the installed firmware is\n"
    "                            damaged (repeatable);\n"
    "                            F: " + simulation::simulatedFaultNames() + ";\n"
    "                            arrive=T, leave=T: it is plugged in and pulled out T seconds\n"
    "                            after the start\n"
    "  --real-time               simulated adapters, and replays, take as long as real ones\n"
    "  --record FILE             write every exchange with the adapters to FILE: a recording\n"
    "                            to attach to a problem report (its format: recordings.md,\n"
    "                            in the source's docs and the package's documentation)\n"
    "  --anonymise               with --record: serial numbers and device paths become\n"
    "                            placeholders in the recording\n"
    "  --replay FILE             run the command against the recording FILE instead of\n"
    "                            adapters; with an anonymised recording, give its\n"
    "                            placeholders to --serial and --port\n"
    "  --version                 the version and the platform backend\n"
    "  -h, --help                this text\n"
    "\n"
    "Exit codes:\n"
    "  0    success\n"
    "  1    an install or device failure, a flash that differs from the carried firmware,\n"
    "       a replay that went otherwise than its recording, or results that could not be\n"
    "       written to standard output (a full disk, a closed pipe)\n"
    "  2    a usage error, or a recording that cannot be replayed or written\n"
    "  3    no adapter attached, none with that serial number or port, or several to choose from\n"
    "  130  stopped by SIGINT, 143 by SIGTERM, 129 by SIGHUP (a second signal ends it at once)\n"
    "\n"
    "Error kinds (errorKind in the JSON):\n" +
    errorKindLines();
}

const char *productVersion() { return VANTREL_VERSION; }

const char *platformBackend() { return platform::nativeBackendName(); }

std::string versionText()
{
    return std::string("vantrel-flash ") + productVersion() + " (" + platformBackend() + " backend)";
}

const char *commandName(Options::Command command)
{
    switch (command) {
    case Options::Command::list: return "list";
    case Options::Command::info: return "info";
    case Options::Command::install: return "install";
    case Options::Command::verify: return "verify";
    case Options::Command::version: return "version";
    default: return "help";
    }
}

namespace {

// Milliseconds from a count of seconds such as "2" or "0.5".
std::uint32_t millisecondsFrom(const std::string &item, const std::string &text)
{
    double seconds = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0 && seconds <= 86400))
        throw UsageError{"--simulate " + item + " wants a number of seconds from 0 to 86400"};
    return static_cast<std::uint32_t>(std::lround(seconds * 1000));
}

std::uint32_t pieceFrom(const std::string &item, const std::string &text)
{
    std::uint32_t piece = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), piece);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw UsageError{"--simulate " + item + " wants a piece number"};
    return piece;
}

simulation::SimulatedAdapterSetup parseSimulation(const std::string &text, std::size_t index)
{
    simulation::SimulatedAdapterSetup setup;
    std::size_t start = 0;
    bool first = true;
    std::vector<std::string> keysGiven;  // each once, but damaged= as often as wanted
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        start = comma + 1;
        const std::size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : item.substr(equals + 1);
        const bool hasValue = equals != std::string::npos && !value.empty();
        if (!first && key != "damaged") {
            if (std::find(keysGiven.begin(), keysGiven.end(), key) != keysGiven.end())
                throw UsageError{"--simulate " + text + " gives " + key + " twice"};
            keysGiven.push_back(key);
        }
        if (first) {
            const Variant *variant = carriedVariants().byToolName(item);
            if (!variant)
                throw UsageError{"unknown variant \"" + item + "\" for --simulate"};
            setup.productId = variant->productId;
            first = false;
        } else if (item == "installed") {
            setup.firmware = simulation::SimulatedFirmware::carried;
        } else if (key == "serial" && hasValue) {
            setup.serialNumber = value;
        } else if (key == "fault" && simulation::simulatedFaultNamed(value)) {
            setup.fault = simulation::simulatedFaultNamed(value);
        } else if (key == "damaged" && equals != std::string::npos) {
            setup.damagedPieces.push_back(pieceFrom(key, value));
        } else if (key == "port" && hasValue) {
            setup.port = value;
        } else if (key == "arrive" && equals != std::string::npos) {
            setup.arriveAt = millisecondsFrom(key, value);
        } else if (key == "leave" && equals != std::string::npos) {
            setup.leaveAt = millisecondsFrom(key, value);
        } else {
            throw UsageError{"cannot understand \"" + item + "\" in --simulate " + text};
        }
    }
    if (setup.arriveAt && setup.leaveAt && *setup.leaveAt <= *setup.arriveAt)
        throw UsageError{"--simulate " + text + " has the adapter leave before it arrives"};
    if (setup.serialNumber.empty())
        setup.serialNumber = "VT" + std::to_string(100001 + index);
    return setup;
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

struct CommandWord {
    const char *word;
    Options::Command command;
};

constexpr CommandWord commandWords[] = {{"list", Options::Command::list},
                                        {"info", Options::Command::info},
                                        {"install", Options::Command::install},
                                        {"verify", Options::Command::verify},
                                        {"help", Options::Command::help}};

// The options that choose where the adapters come from or how the results
// are shown: they leave the exchanges with the adapters as they are, so a
// recording's command does not name them (Options::commandWords).
const std::string_view sourceAndFormOptions[] = {"--simulate", "--real-time", "--record", "--anonymise", "--replay",
                                                 "--json"};

// What a command line may combine, once every argument is read.
void checkCombination(const Options &options)
{
    using Command = Options::Command;
    const Command command = options.command;
    const int choices = int{options.serialNumber.has_value()} + int{options.port.has_value()} + int{options.all};
    if (choices > 1)
        throw UsageError{"--serial, --port and --all exclude each other"};
    if (command == Command::list && (options.serialNumber || options.port))
        throw UsageError{"list takes no --serial or --port"};
    if (options.all && command != Command::install && command != Command::verify)
        throw UsageError{"--all goes with install and verify only"};
    if (options.ifNeeded && command != Command::install)
        throw UsageError{"--if-needed goes with install only"};
    if (options.wait && command != Command::install)
        throw UsageError{"--wait goes with install only"};
    if (options.wait && options.all)
        throw UsageError{"--wait and --all exclude each other"};
    if (options.count && !options.wait)
        throw UsageError{"--count goes with --wait only"};
    if (options.recordFile && options.replayFile)
        throw UsageError{"--record and --replay exclude each other"};
    if (options.replayFile && !options.simulate.empty())
        throw UsageError{"--replay and --simulate exclude each other: a replay's adapters are the recorded ones"};
    if (options.anonymise && !options.recordFile)
        throw UsageError{"--anonymise goes with --record only"};
}

}  // namespace

// Options whose value a second one would silently replace: a slip that
// could flash another adapter than meant, or record to another file.
constexpr std::string_view singleValueOptions[] = {"--serial", "--port", "--count", "--record", "--replay"};

Options parseOptions(const std::vector<std::string> &arguments)
{
    Options options;
    bool haveCommand = false;
    std::vector<std::string_view> valuesGiven;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (std::find(std::begin(singleValueOptions), std::end(singleValueOptions), argument) !=
            std::end(singleValueOptions)) {
            if (std::find(valuesGiven.begin(), valuesGiven.end(), argument) != valuesGiven.end())
                throw UsageError{argument + " is given twice"};
            valuesGiven.push_back(argument);
        }
        auto value = [&]() -> const std::string & {
            if (i + 1 >= arguments.size() || arguments[i + 1].rfind("--", 0) == 0)
                throw UsageError{argument + " needs a value"};
            return arguments[++i];
        };
        // A selection that could match nothing, or any adapter that reports
        // no serial number, is a mistake on the command line.
        auto nonEmptyValue = [&]() -> const std::string & {
            const std::string &text = value();
            if (text.empty())
                throw UsageError{argument + " needs a value that is not empty"};
            return text;
        };
        const auto word = std::find_if(std::begin(commandWords), std::end(commandWords),
                                       [&](const CommandWord &w) { return argument == w.word; });
        const std::size_t first = i;
        const bool partOfTheCommand =
            std::find(std::begin(sourceAndFormOptions), std::end(sourceAndFormOptions), argument) ==
            std::end(sourceAndFormOptions);
        if (argument == "--serial") {
            options.serialNumber = nonEmptyValue();
        } else if (argument == "--port") {
            options.port = nonEmptyValue();
        } else if (argument == "--all") {
            options.all = true;
        } else if (argument == "--if-needed") {
            options.ifNeeded = true;
        } else if (argument == "--wait") {
            options.wait = true;
        } else if (argument == "--count") {
            options.count = countFrom(value());
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--real-time") {
            options.realTime = true;
        } else if (argument == "--simulate") {
            options.simulate.push_back(parseSimulation(value(), options.simulate.size()));
        } else if (argument == "--record") {
            options.recordFile = nonEmptyValue();
        } else if (argument == "--anonymise") {
            options.anonymise = true;
        } else if (argument == "--replay") {
            options.replayFile = nonEmptyValue();
        } else if (argument == "-h" || argument == "--help") {
            options.command = Options::Command::help;
            return options;
        } else if (argument == "--version") {
            options.command = Options::Command::version;
            return options;
        } else if (!haveCommand && word != std::end(commandWords)) {
            haveCommand = true;
            options.command = word->command;
        } else if (argument.rfind("-", 0) == 0) {
            throw UsageError{"unknown option " + argument};
        } else {
            throw UsageError{"unexpected argument \"" + argument + "\""};
        }
        if (partOfTheCommand)
            options.commandWords.insert(options.commandWords.end(), arguments.begin() + first,
                                        arguments.begin() + i + 1);
    }
    if (!haveCommand)
        throw UsageError{"no command given"};
    checkCombination(options);
    return options;
}
