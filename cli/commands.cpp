#include "cli/commands.h"

#include <string>
#include <vector>

#include "cli/adapter_choice.h"
#include "cli/adapter_work.h"
#include "cli/output.h"
#include "cli/stop_signal.h"
#include "platform/device_text.h"
#include "update/firmware_image.h"

namespace {

using nlohmann::json;

}  // namespace

int runList(const Options &, Output &output)
{
    const std::vector<AdapterView> views = viewsOf(attachedAdapters());
    output.document["adapters"] = jsonOf(views);
    if (views.empty()) {
        noteFailure(output, {ErrorKind::notFound, noAdaptersText});
        std::fprintf(output.messages(), "%s\n", noAdaptersText);
        return exitNoAdapter;
    }
    if (!output.json())
        printTable(output.results(), views);
    return exitSuccess;
}

int runInfo(const Options &options, Output &output)
{
    int exitCode = exitSuccess;
    const std::optional<DeviceList> chosen = chooseAdapters(options, output, exitCode);
    if (!chosen)
        return exitCode;
    const UsbDeviceInfo &device = chosen->front();
    const AdapterView view = viewOf(device);
    json object = view.toJson();
    object["manufacturer"] = deviceText(device.manufacturer);
    object["description"] = deviceText(device.description);
    object["devicePath"] = deviceText(device.devicePath);
    if (view.entry) {
        object["loadAddress"] = view.entry->loadAddress;
        object["imageSize"] = view.entry->imageSize;
        // The release history is the updater's own text, UTF-8 already.
        object["releaseNotes"] = view.entry->releaseNotes
                                     ? std::string(view.entry->releaseNotes, view.entry->releaseNotesLength)
                                     : std::string();
    } else {
        object["errorKind"] = nameOf(ErrorKind::unsupported);
    }
    output.document["adapters"] = json::array({object});
    if (!output.json()) {
        using platform::terminalFromLatin1;
        std::FILE *out = output.results();
        std::fprintf(out, "Serial number:      %s\n", terminalFromLatin1(device.serialNumber).c_str());
        std::fprintf(out, "Product id:         %u\n", unsigned{device.productId});
        std::fprintf(out, "Manufacturer:       %s\n", terminalFromLatin1(device.manufacturer).c_str());
        std::fprintf(out, "Description:        %s\n", terminalFromLatin1(device.description).c_str());
        std::fprintf(out, "Port:               %s\n", terminalFromLatin1(portOf(device)).c_str());
        std::fprintf(out, "Variant:            %s\n", view.entry ? view.entry->variantName : "not supported");
        if (view.entry) {
            std::fprintf(out, "Installed firmware: %s\n", terminalFromLatin1(installedColumn(view)).c_str());
            std::fprintf(out, "Carried firmware:   %s (%u bytes at 0x%X)\n",
                         terminalFromLatin1(carriedVersion(*view.entry).value_or("Invalid Firmware Image")).c_str(),
                         view.entry->imageSize, view.entry->loadAddress);
            std::fprintf(out, "\n%s", object["releaseNotes"].get<std::string>().c_str());
        }
    }
    const std::optional<Failure> failure =
        view.entry ? view.failure : std::optional<Failure>(Failure{ErrorKind::unsupported, unsupportedAdapterText});
    if (!failure)
        return exitSuccess;
    noteFailure(output, *failure);
    std::fprintf(output.messages(), failure->kind == ErrorKind::unsupported ? "%s\n" : "Error: %s\n",
                 platform::terminalFromLatin1(failure->message).c_str());
    return exitFailure;
}

int runOnAdapters(const Options &options, Output &output)
{
    int exitCode = exitSuccess;
    const std::optional<DeviceList> targets = chooseAdapters(options, output, exitCode);
    if (!targets)
        return exitCode;

    json results = json::array();
    int succeeded = 0, current = 0, failed = 0, skipped = 0;
    std::optional<Failure> firstFailure;
    for (const UsbDeviceInfo &device : *targets) {
        if (stopSignal() != 0)
            break;  // those not begun are left as they are
        // With --all an unsupported adapter is passed over; asked for by
        // name it is a failure.
        const AdapterResult result = workOn(device, workOf(options), options.all, output);
        results.push_back(jsonOf(result, output));
        printResult(result, output);
        if (std::string(result.outcome) == "current") {
            ++current;
        } else if (result.succeeded()) {
            ++succeeded;
        } else if (std::string(result.outcome) == "skipped") {
            ++skipped;
        } else {
            ++failed;
            if (!firstFailure)
                firstFailure = result.failure;
        }
        if (result.interrupted())
            break;
    }
    output.document["adapters"] = results;
    if (firstFailure)
        noteFailure(output, *firstFailure);
    if (targets->size() > 1 && !output.json()) {
        const char *done = options.command == Options::Command::verify ? "verified" : "installed";
        // An adapter found current was not written to: not counted as installed.
        const std::string alreadyCurrent = options.ifNeeded ? ", " + std::to_string(current) + " already current" : "";
        std::fprintf(output.results(), "%d %s%s, %d failed, %d skipped\n", succeeded, done, alreadyCurrent.c_str(),
                     failed, skipped);
    }
    return failed > 0 ? exitFailure : exitSuccess;
}
