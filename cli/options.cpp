#include "cli/options.h"

#include <algorithm>
#include <cstring>

#include "update/simulated_adapter.h"

const char *const simulatedFaults[] = {"erase", "write", "verify", "crc", "connect", "disconnect",
                                       "busy",  "no-reply", nullptr};

const char *const usageText =
    "Usage: vantrel-flash COMMAND [OPTIONS]\n"
    "\n"
    "Installs the firmware that Vantrel Update carries onto attached Vantrel adapters.\n"
    "\n"
    "Commands:\n"
    "  list                      every attached adapter with its installed and carried firmware\n"
    "  info [--serial S]         one adapter in detail, with the carried release history\n"
    "  install [--serial S | --all]\n"
    "                            install the carried firmware, then re-read the adapter\n"
    "  help                      this text\n"
    "\n"
    "Options:\n"
    "  --serial S                the adapter with serial number S\n"
    "  --all                     every attached supported adapter, one after the other\n"
    "  --json                    machine-readable results on standard output\n"
    "  --simulate VARIANT[,serial=S][,installed][,fault=F]\n"
    "                            use a simulated adapter instead of the real ones (repeatable);\n"
    "                            VARIANT: arm-standard, arm-basic, max, flex, msp430;\n"
    "                            F: erase, write, verify, crc, connect, disconnect, busy, no-reply\n"
    "  --real-time               simulated adapters take as long as real ones\n"
    "  -h, --help                this text\n"
    "  --version                 the program's version and platform backend\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  an install or device failure\n"
    "  2  a usage error\n"
    "  3  no adapter attached, no adapter with that serial number, or several to choose from\n";

namespace {

bool knownFault(const std::string &fault)
{
    for (const char *const *f = simulatedFaults; *f; ++f)
        if (fault == *f)
            return true;
    return false;
}

SimulatedAdapterSetup parseSimulation(const std::string &text, std::size_t index)
{
    SimulatedAdapterSetup setup;
    std::size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        start = comma + 1;
        if (first) {
            setup.variant = item;
            setup.productId = productIdForVariant(item);
            if (setup.productId == 0)
                throw UsageError{"unknown variant \"" + item + "\" for --simulate"};
            first = false;
        } else if (item == "installed") {
            setup.installed = true;
        } else if (item.rfind("serial=", 0) == 0 && item.size() > 7) {
            setup.serialNumber = item.substr(7);
        } else if (item.rfind("fault=", 0) == 0 && knownFault(item.substr(6))) {
            setup.fault = item.substr(6);
        } else {
            throw UsageError{"cannot understand \"" + item + "\" in --simulate " + text};
        }
    }
    if (setup.serialNumber.empty())
        setup.serialNumber = "VT" + std::to_string(100001 + index);
    return setup;
}

}  // namespace

Options parseOptions(const std::vector<std::string> &arguments)
{
    Options options;
    bool haveCommand = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 >= arguments.size() || arguments[i + 1].rfind("--", 0) == 0)
                throw UsageError{argument + " needs a value"};
            return arguments[++i];
        };
        if (argument == "--serial") {
            options.serialNumber = value();
        } else if (argument == "--all") {
            options.all = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--real-time") {
            options.realTime = true;
        } else if (argument == "--simulate") {
            options.simulate.push_back(parseSimulation(value(), options.simulate.size()));
        } else if (argument == "-h" || argument == "--help") {
            options.command = Options::Command::help;
            return options;
        } else if (argument == "--version") {
            options.command = Options::Command::version;
            return options;
        } else if (!haveCommand && (argument == "list" || argument == "info" || argument == "install" ||
                                    argument == "help")) {
            haveCommand = true;
            options.command = argument == "list"      ? Options::Command::list
                              : argument == "info"    ? Options::Command::info
                              : argument == "install" ? Options::Command::install
                                                      : Options::Command::help;
        } else if (argument.rfind("-", 0) == 0) {
            throw UsageError{"unknown option " + argument};
        } else {
            throw UsageError{"unexpected argument \"" + argument + "\""};
        }
    }
    if (!haveCommand)
        throw UsageError{"no command given"};
    if (options.all && options.command != Options::Command::install)
        throw UsageError{"--all goes with install only"};
    if (options.all && options.serialNumber)
        throw UsageError{"--serial and --all exclude each other"};
    if (options.serialNumber && options.command == Options::Command::list)
        throw UsageError{"list takes no --serial"};
    return options;
}
