#include "cli/help_text.h"

#include <algorithm>
#include <utility>

#include "cli/option_table.h"
#include "cli/simulate_description.h"
#include "commandline/command_line_reader.h"
#include "datalink/error_kind.h"
#include "simulation/simulated_faults.h"
#include "update/variant.h"

namespace {

constexpr std::size_t helpColumn = 28;

std::string entry(const std::string &name, const std::string &help, std::size_t column = helpColumn)
{
    return helpEntry(name, help, column);
}

std::string commandLines()
{
    std::string text;
    for (const CommandInfo &info : commandTable()) {
        for (const CommandForm &form : info.forms) {
            const std::string synopsis = *form.synopsis ? std::string(info.name) + " " + form.synopsis : info.name;
            text += entry(synopsis, form.help);
        }
    }
    return text;
}

std::string optionLines()
{
    std::string text;
    for (const OptionInfo &info : optionTable()) {
        std::string name = info.shortName ? std::string(info.shortName) + ", " + info.name : info.name;
        if (info.valueName)
            name += std::string(" ") + info.valueName;
        text += entry(name, info.help);
    }
    return text;
}

std::string simulationLines()
{
    std::string items;
    std::string itemLines;
    for (const SimulateItem &item : simulateItems()) {
        const std::string written = item.valueName ? std::string(item.key) + "=" + item.valueName : item.key;
        items += (items.empty() ? "" : ", ") + written;
        itemLines += entry(written, std::string(item.help) + (item.repeatable ? " (repeatable)" : ""), 16);
    }
    return "  VARIANT: " + wrappedHelp(simulatedVariantWords() + ";", 11) +
           "  (unsupported: an adapter of the family that Vantrel Update carries no firmware for)\n" +
           "  ITEM: " + wrappedHelp(items + ";", 8) + itemLines;
}

std::string faultLines()
{
    std::string names;
    std::string lines;
    for (const simulation::SimulatedFaultInfo &info : simulation::simulatedFaults()) {
        names += (names.empty() ? "" : ", ") + std::string(info.name);
        lines += entry(info.name, info.description, 16);
    }
    return "  F: " + wrappedHelp(names + ";", 5) + lines;
}

std::string exitCodeLines()
{
    const std::pair<const char *, const char *> codes[] = {
        {"0", "success"},
        {"1", "an install or device failure, a flash that differs from the carried firmware, a replay that went "
              "otherwise than its recording, or results that could not be written to standard output (a full "
              "disk, a closed pipe)"},
        {"2", "a usage error, or a recording that cannot be replayed or written"},
        {"3", "no adapter attached, none with that serial number or port, or several to choose from"},
        {"4", "the history cannot be read (history), or cannot keep what --require-history demands: nothing more "
              "is begun"},
        {"130", "stopped by SIGINT, 143 by SIGTERM, 129 by SIGHUP (a second signal ends it at once)"},
    };
    std::string lines;
    for (const auto &[code, meaning] : codes)
        lines += entry(code, meaning, 7);
    return lines;
}

std::string errorKindLines()
{
    std::string lines;
    for (const ErrorKindInfo &info : errorKinds())
        lines += entry(info.name, info.meaning, 22);
    return lines;
}

}  // namespace

std::string usageText()
{
    return "Usage: vantrel-flash COMMAND [OPTIONS]\n"
           "\n"
           "Installs the firmware that Vantrel Update carries onto attached Vantrel\n"
           "adapters.\n"
           "\n"
           "Commands:\n" +
           commandLines() +
           "\n"
           "Options:\n" +
           optionLines() +
           "  --                        what follows is no option\n"
           "\n"
           "Simulated adapters (--simulate VARIANT[,ITEM...]):\n" +
           simulationLines() +
           "\n"
           "Simulated faults (fault=F):\n" +
           faultLines() +
           "\n"
           "Exit codes:\n" +
           exitCodeLines() +
           "\n"
           "Error kinds (errorKind in the JSON):\n" +
           errorKindLines();
}
