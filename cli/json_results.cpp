#include "cli/json_results.h"

#include <cmath>

#include "cli/adapter_choice.h"
#include "cli/option_table.h"
#include "history/history_output.h"
#include "loader/crc32.h"
#include "platform/device_text.h"
#include "update/firmware_image.h"

namespace {

using nlohmann::json;

// Device text is 8-bit: every byte becomes its character.
json deviceText(const std::string &text) { return platform::utf8FromLatin1(text); }

json optionalDeviceText(const std::optional<std::string> &text) { return text ? deviceText(*text) : json(nullptr); }

json carriedVersionOf(const FirmwareImage *entry)
{
    return entry ? optionalDeviceText(carriedVersion(*entry)) : json(nullptr);
}

// The fields that name an adapter, first in every object about one.
json adapterObject(const UsbDeviceInfo &device, const FirmwareImage *entry)
{
    return {{"serial", deviceText(device.serialNumber)},
            {"productId", device.productId},
            {"port", deviceText(portOf(device))},
            {"variant", entry ? json(entry->variantName) : json(nullptr)}};
}

void putFailure(json &object, const std::optional<Failure> &failure)
{
    object["errorKind"] = failure ? json(nameOf(failure->kind)) : json(nullptr);
    object["message"] = failure ? deviceText(failure->message) : json("");
}

json comparisonOf(const AdapterResult &result)
{
    if (!result.comparison || !result.entry)
        return nullptr;
    const FlashComparison &c = *result.comparison;
    json comparison = {{"pieces", c.pieces}, {"differing", c.differing}, {"firstDiffering", nullptr}};
    if (!c.identical()) {
        const FlashRange piece = firstDifferingPiece(*result.entry, c);
        comparison["firstDiffering"] = {{"piece", c.firstDiffering}, {"address", piece.address}, {"length", piece.length}};
    }
    return comparison;
}

// How the history kept the adapter's result; null when it keeps none.
json historyOf(const std::optional<HistoryKept> &kept)
{
    if (!kept)
        return nullptr;
    return {{"stored", kept->stored},
            {"spooled", kept->spooled},
            {"waiting", kept->waiting},
            {"errorKind", kept->errorKind ? json(*kept->errorKind) : json(nullptr)},
            // The history's own line: UTF-8 already (it names files and servers).
            {"message", platform::wellFormedUtf8(kept->message)}};
}

const char *commandOutcome(const CommandResult &result)
{
    if (!result.failure)
        return "succeeded";
    return result.failure->kind == ErrorKind::interrupted ? "interrupted" : "failed";
}

}  // namespace

json jsonOf(const AdapterView &view, bool detailed)
{
    json object = adapterObject(view.device, view.entry);
    object["supported"] = view.entry != nullptr;
    object["installedVersion"] = optionalDeviceText(view.installed);
    object["carriedVersion"] = carriedVersionOf(view.entry);
    putFailure(object, view.failure);
    if (detailed) {
        object["manufacturer"] = deviceText(view.device.manufacturer);
        object["description"] = deviceText(view.device.description);
        object["devicePath"] = deviceText(view.device.devicePath);
        object["loadAddress"] = view.entry ? json(view.entry->loadAddress) : json(nullptr);
        object["imageSize"] = view.entry ? json(view.entry->imageSize) : json(nullptr);
        // The release history is the updater's own text, UTF-8 already.
        object["releaseNotes"] = view.entry ? json(std::string(releaseNotesOf(*view.entry))) : json(nullptr);
    }
    return object;
}

json jsonOf(const AdapterResult &result)
{
    const FirmwareImage *entry = result.entry;
    json object = adapterObject(result.device, entry);
    object["outcome"] = nameOf(result.outcome);
    putFailure(object, result.failure);
    object["task"] = result.task ? json(nameOf(*result.task)) : json(nullptr);
    object["versionBefore"] = optionalDeviceText(result.before);
    object["versionAfter"] = optionalDeviceText(result.after);
    object["carriedVersion"] = carriedVersionOf(entry);
    object["carriedCrc32"] = entry ? json(crc32(entry->image, entry->imageSize)) : json(nullptr);
    object["comparison"] = comparisonOf(result);
    object["stoppedIn"] = nullptr;
    if (result.stoppedIn)
        object["stoppedIn"] = {{"task", nameOf(result.stoppedIn->task)},
                               {"bytesDone", result.stoppedIn->done},
                               {"bytes", result.stoppedIn->total}};
    object["flash"] = nameOf(result.flash);
    // Milliseconds are what a real adapter's timing can tell apart.
    object["durationSeconds"] = std::round(result.seconds * 1000) / 1000;
    object["history"] = historyOf(result.history);
    if (result.simulatedFlashCrc)
        object["simulated"] = {{"flashCrc32", *result.simulatedFlashCrc}};
    return object;
}

json stationLineOf(const AdapterResult &result, unsigned sequence)
{
    json line = jsonOf(result);
    line["formatVersion"] = jsonFormatVersion;
    line["sequence"] = sequence;
    return line;
}

json documentOf(const CommandResult &result)
{
    json document = {{"formatVersion", jsonFormatVersion},
                     {"command", result.command ? json(nameOf(*result.command)) : json(nullptr)},
                     {"version", productVersion()},
                     {"backend", platformBackend()},
                     {"outcome", commandOutcome(result)},
                     {"exitCode", result.exitCode}};
    putFailure(document, result.failure);
    json adapters = json::array();
    for (const AdapterView &view : result.listed)
        adapters.push_back(jsonOf(view, result.command == Command::info));
    for (const AdapterResult &adapter : result.results)
        adapters.push_back(jsonOf(adapter));
    document["adapters"] = adapters;
    json candidates = json::array();
    for (const AdapterView &view : result.candidates)
        candidates.push_back(jsonOf(view, false));
    document["candidates"] = candidates;
    json entries = json::array();
    for (const history::HistoryEntry &entry : result.entries)
        entries.push_back(history::jsonOf(entry));
    document["entries"] = entries;
    return document;
}
