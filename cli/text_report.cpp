// The report as text for people: results on standard output, in lines and
// a table whose columns stay in line whatever the adapters report.

#include <algorithm>
#include <array>

#include "cli/adapter_choice.h"
#include "cli/history_text.h"
#include "cli/report_forms.h"
#include "cli/text_table.h"
#include "history/history_output.h"
#include "platform/device_text.h"
#include "update/firmware_image.h"

namespace {

using platform::terminalFromLatin1;

std::string installedColumn(const AdapterView &view)
{
    if (!view.entry)
        return "-";
    if (view.failure)
        return "(" + view.failure->message + ")";
    return view.installed.value_or(notInstalledText);
}

std::string carriedColumn(const FirmwareImage *entry)
{
    return entry ? carriedVersion(*entry).value_or(invalidImageText) : std::string("-");
}

void printAdapters(std::FILE *out, const std::vector<AdapterView> &views)
{
    std::vector<TableRow> rows{{"SERIAL", "PRODUCT", "VARIANT", "INSTALLED", "CARRIED", "PORT"}};
    for (const AdapterView &view : views) {
        const std::string &serial = view.device.serialNumber;
        rows.push_back({serial.empty() ? "(none)" : terminalFromLatin1(serial), std::to_string(view.device.productId),
                        view.entry ? view.entry->variantName : "not supported",
                        terminalFromLatin1(installedColumn(view)), terminalFromLatin1(carriedColumn(view.entry)),
                        terminalFromLatin1(portOf(view.device))});
    }
    printTable(out, rows);
}

void printDetails(std::FILE *out, const AdapterView &view)
{
    const UsbDeviceInfo &device = view.device;
    std::fprintf(out, "Serial number:      %s\n", terminalFromLatin1(device.serialNumber).c_str());
    std::fprintf(out, "Product id:         %u\n", unsigned{device.productId});
    std::fprintf(out, "Manufacturer:       %s\n", terminalFromLatin1(device.manufacturer).c_str());
    std::fprintf(out, "Description:        %s\n", terminalFromLatin1(device.description).c_str());
    std::fprintf(out, "Port:               %s\n", terminalFromLatin1(portOf(device)).c_str());
    std::fprintf(out, "Variant:            %s\n", view.entry ? view.entry->variantName : "not supported");
    if (!view.entry)
        return;
    std::fprintf(out, "Installed firmware: %s\n", terminalFromLatin1(installedColumn(view)).c_str());
    std::fprintf(out, "Carried firmware:   %s (%u bytes at 0x%X)\n", terminalFromLatin1(carriedColumn(view.entry)).c_str(),
                 view.entry->imageSize, view.entry->loadAddress);
    // The release history is the updater's own text, UTF-8 already.
    std::fprintf(out, "\n%s", std::string(releaseNotesOf(*view.entry)).c_str());
}

class TextReport : public Report {
public:
    TextReport(Output &output, bool station, bool csv) : Report(output, false, station), csv_(csv) {}

    void workStarted(const AdapterResult &soFar) override
    {
        const char *doing = soFar.work == Work::verify            ? "Verifying"
                            : soFar.work == Work::installIfNeeded ? "Installing if needed"
                                                                  : "Installing";
        // A verify writes nothing: it compares with the carried firmware.
        const char *arrow = soFar.work == Work::verify ? "against" : "->";
        std::fprintf(output_.results(), "%s %s on %s: %s %s %s\n", doing, soFar.entry->variantName,
                     terminalFromLatin1(soFar.device.serialNumber).c_str(),
                     terminalFromLatin1(soFar.before.value_or(notInstalledText)).c_str(), arrow,
                     terminalFromLatin1(carriedColumn(soFar.entry)).c_str());
    }

    void adapterDone(const AdapterResult &result, std::optional<unsigned> sequence) override
    {
        Report::adapterDone(result, sequence);
        if (result.failure)
            return;
        const std::string serial = terminalFromLatin1(result.device.serialNumber);
        const std::string version = terminalFromLatin1(result.after.value_or(notInstalledText));
        std::FILE *out = output_.results();
        if (result.outcome == Outcome::installed)
            std::fprintf(out, "Installed %s on %s in %.1f s\n", version.c_str(), serial.c_str(), result.seconds);
        else if (result.outcome == Outcome::current)
            std::fprintf(out, "%s already holds %s: nothing written (%.1f s)\n", serial.c_str(), version.c_str(),
                         result.seconds);
        else
            std::fprintf(out, "%s holds the carried firmware %s (%.1f s)\n", serial.c_str(), version.c_str(),
                         result.seconds);
    }

    void stationWaiting() override
    {
        std::fprintf(output_.messages(), "Waiting for an adapter (Ctrl-C ends)...\n");
    }

    void stationNext(const UsbDeviceInfo &done) override
    {
        std::fprintf(output_.messages(), "Remove %s and attach the next adapter...\n",
                     terminalFromLatin1(done.serialNumber).c_str());
    }

    void finish(const CommandResult &result) override
    {
        Report::finish(result);
        if (!result.candidates.empty())
            printAdapters(output_.messages(), result.candidates);
        if (result.command == Command::list && !result.listed.empty())
            printAdapters(output_.results(), result.listed);
        if (result.command == Command::info && !result.listed.empty())
            printDetails(output_.results(), result.listed.front());
        if (result.results.size() > 1)
            printSummary(result);
        if (result.command == Command::history && result.started)
            printEntries(result.entries);
    }

private:
    void printEntries(const std::vector<history::HistoryEntry> &entries)
    {
        if (csv_)
            output_.writeResults(history::csvOf(entries));
        else if (entries.empty())
            std::fprintf(output_.messages(), "The history holds no such entries.\n");
        else
            printHistory(output_.results(), entries);
    }

    void printSummary(const CommandResult &result)
    {
        int done = 0, current = 0, failed = 0, skipped = 0;
        for (const AdapterResult &adapter : result.results) {
            if (adapter.outcome == Outcome::current)
                ++current;
            else if (adapter.succeeded())
                ++done;
            else if (adapter.outcome == Outcome::skipped)
                ++skipped;
            else
                ++failed;
        }
        const bool verifying = result.command == Command::verify;
        // An adapter found current was not written to: not counted as installed.
        const std::string alreadyCurrent = current > 0 || result.results.front().work == Work::installIfNeeded
                                               ? ", " + std::to_string(current) + " already current"
                                               : "";
        std::fprintf(output_.results(), "%d %s%s, %d failed, %d skipped\n", done, verifying ? "verified" : "installed",
                     alreadyCurrent.c_str(), failed, skipped);
    }

    bool csv_;
};

}  // namespace

std::unique_ptr<Report> makeTextReport(Output &output, bool station, bool csv)
{
    return std::make_unique<TextReport>(output, station, csv);
}
