#include "cli/commands.h"

#include <optional>
#include <string>
#include <vector>

#include "cli/progress_display.h"
#include "cli/simulation.h"
#include "datalink/hexception.h"
#include "discovery/enumeration.h"
#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "platform/console.h"
#include "platform/platform.h"
#include "update/adapter_link.h"
#include "update/firmware_image.h"
#include "update/install_engine.h"

namespace {

constexpr int familyVendorId = 4891;
constexpr const char *noDevices = "No devices connected, attach the Vantrel you wish to configure.";
constexpr const char *severalDevices = "Multiple devices connected, attach only one Vantrel.";
constexpr const char *notSupported = "The attached Vantrel is not supported by Vantrel Update.";
constexpr const char *notInstalledText = "Not Installed";
constexpr int rereadAttempts = 11;
constexpr std::uint32_t rereadPause = 1000;

using nlohmann::json;

DeviceList attachedAdapters() { return filterDevices(enumerateDevices(0), familyVendorId, -1); }

// What the boot loader reports, read as the window's panel reads it: a fresh
// link, no connect.
std::optional<std::string> readInstalledVersion(const UsbDeviceInfo &device)
{
    std::unique_ptr<HDataLink> link = openAdapterLink(device);
    LoaderInfo info;
    link->getLoaderInfo(info);
    return installedVersion(info);
}

json optionalText(const std::optional<std::string> &text) { return text ? json(*text) : json(nullptr); }

struct AdapterView {
    UsbDeviceInfo device;
    const FirmwareImage *entry = nullptr;
    std::optional<std::string> installed;
    std::string error;  // the loader information could not be read

    json toJson() const
    {
        json object = {{"serial", device.serialNumber},
                       {"productId", device.productId},
                       {"supported", entry != nullptr},
                       {"variant", entry ? json(entry->variantName) : json(nullptr)},
                       {"installedVersion", optionalText(installed)},
                       {"carriedVersion", entry ? optionalText(carriedVersion(*entry)) : json(nullptr)}};
        if (!error.empty())
            object["error"] = error;
        return object;
    }
};

AdapterView viewOf(const UsbDeviceInfo &device)
{
    AdapterView view;
    view.device = device;
    view.entry = device.firmwareImage();
    if (!view.entry)
        return view;
    try {
        view.installed = readInstalledVersion(device);
    } catch (const HException &e) {
        view.error = e.message();
    }
    return view;
}

std::string installedColumn(const AdapterView &view)
{
    if (!view.entry)
        return "-";
    if (!view.error.empty())
        return "(" + view.error + ")";
    return view.installed.value_or(notInstalledText);
}

void printTable(std::FILE *out, const std::vector<AdapterView> &views)
{
    std::fprintf(out, "%-18s %-7s %-28s %-36s %s\n", "SERIAL", "PRODUCT", "VARIANT", "INSTALLED", "CARRIED");
    for (const AdapterView &view : views) {
        const std::string carried =
            view.entry ? carriedVersion(*view.entry).value_or("Invalid Firmware Image") : std::string("-");
        std::fprintf(out, "%-18s %-7u %-28s %-36s %s\n",
                     view.device.serialNumber.empty() ? "(none)" : view.device.serialNumber.c_str(),
                     unsigned{view.device.productId}, view.entry ? view.entry->variantName : "not supported",
                     installedColumn(view).c_str(), carried.c_str());
    }
}

std::vector<AdapterView> viewsOf(const DeviceList &devices)
{
    std::vector<AdapterView> views;
    for (const UsbDeviceInfo &device : devices)
        views.push_back(viewOf(device));
    return views;
}

json jsonOf(const std::vector<AdapterView> &views)
{
    json list = json::array();
    for (const AdapterView &view : views)
        list.push_back(view.toJson());
    return list;
}

// Ends a command that found no adapter to work on, listing what is attached.
int noChoice(Output &output, const std::string &message, const DeviceList &attached)
{
    const std::vector<AdapterView> views = viewsOf(attached);
    output.document["error"] = message;
    output.document["attached"] = jsonOf(views);
    std::fprintf(output.messages, "%s\n", message.c_str());
    if (!views.empty() && !output.json)
        printTable(output.messages, views);
    return exitNoAdapter;
}

// The one adapter a command is about: by serial number, or the only one.
std::optional<UsbDeviceInfo> chooseAdapter(const Options &options, Output &output, int &exitCode)
{
    const DeviceList attached = attachedAdapters();
    if (options.serialNumber) {
        for (const UsbDeviceInfo &device : attached)
            if (device.serialNumber == *options.serialNumber)
                return device;
        exitCode = noChoice(output, "no adapter with serial number " + *options.serialNumber, attached);
        return std::nullopt;
    }
    if (attached.size() == 1)
        return attached.front();
    exitCode = noChoice(output, attached.empty() ? noDevices : std::string(severalDevices) +
                                                                   " Choose one with --serial, or use --all.",
                        attached);
    return std::nullopt;
}

// Opens the adapter afresh after an install; an adapter that rebooted may
// take a moment to come back.
std::optional<std::string> rereadInstalledVersion(const UsbDeviceInfo &installed)
{
    for (int attempt = 1;; ++attempt) {
        try {
            DeviceList same;
            for (const UsbDeviceInfo &device : attachedAdapters())
                if (device.serialNumber == installed.serialNumber && device.productId == installed.productId)
                    same.push_back(device);
            // Adapters without serial numbers look alike: their paths tell them apart.
            if (same.size() > 1)
                std::erase_if(same, [&](const UsbDeviceInfo &d) { return d.devicePath != installed.devicePath; });
            if (same.size() == 1)
                return readInstalledVersion(same.front());
            throw HException(same.empty() ? "the adapter did not come back after the install"
                                          : "the installed adapter cannot be told apart from another one");
        } catch (const HException &) {
            if (attempt == rereadAttempts)
                throw;
        }
        platform::clock().sleep(rereadPause);
    }
}

struct InstallResult {
    std::optional<std::string> before;
    std::optional<std::string> after;
    bool installed = false;
    std::string message;
    double seconds = 0;
};

InstallResult installOne(const UsbDeviceInfo &device, const FirmwareImage &entry, Output &output)
{
    InstallResult result;
    const double start = secondsNow();
    std::FILE *progressOut = output.json ? output.messages : output.text;
    ProgressDisplay display(progressOut, platform::isTerminal(progressOut));
    try {
        const std::optional<std::string> carried = carriedVersion(entry);
        if (!carried)
            throw HException("Invalid Firmware Image");
        std::unique_ptr<HDataLink> link = openAdapterLink(device);
        LoaderInfo info;
        link->getLoaderInfo(info);
        result.before = installedVersion(info);
        if (!output.json)
            std::fprintf(output.text, "Installing %s on %s: %s -> %s\n", entry.variantName,
                         device.serialNumber.c_str(), result.before.value_or(notInstalledText).c_str(),
                         carried->c_str());
        FirmwareInstaller(device, link, !result.before, display).run();
        link.reset();  // the pipes are the adapter's own: free them for the re-read
        result.after = rereadInstalledVersion(device);
        if (result.after != carried)
            throw HException("the adapter reports " + result.after.value_or(notInstalledText) +
                             " after the install");
        result.installed = true;
    } catch (const HException &e) {
        result.message = e.message();
    }
    result.seconds = secondsNow() - start;
    return result;
}

}  // namespace

int runList(const Options &, Output &output)
{
    const std::vector<AdapterView> views = viewsOf(attachedAdapters());
    output.document["adapters"] = jsonOf(views);
    if (views.empty()) {
        std::fprintf(output.messages, "%s\n", noDevices);
        return exitNoAdapter;
    }
    if (!output.json)
        printTable(output.text, views);
    return exitSuccess;
}

int runInfo(const Options &options, Output &output)
{
    int exitCode = exitSuccess;
    const std::optional<UsbDeviceInfo> device = chooseAdapter(options, output, exitCode);
    if (!device)
        return exitCode;
    const AdapterView view = viewOf(*device);
    json object = view.toJson();
    object["manufacturer"] = device->manufacturer;
    object["description"] = device->description;
    object["devicePath"] = device->devicePath;
    if (view.entry) {
        object["loadAddress"] = view.entry->loadAddress;
        object["imageSize"] = view.entry->imageSize;
        object["releaseNotes"] = view.entry->releaseNotes
                                     ? std::string(view.entry->releaseNotes, view.entry->releaseNotesLength)
                                     : std::string();
    }
    output.document["adapters"] = json::array({object});
    if (!output.json) {
        std::FILE *out = output.text;
        std::fprintf(out, "Serial number:      %s\n", device->serialNumber.c_str());
        std::fprintf(out, "Product id:         %u\n", unsigned{device->productId});
        std::fprintf(out, "Manufacturer:       %s\n", device->manufacturer.c_str());
        std::fprintf(out, "Description:        %s\n", device->description.c_str());
        std::fprintf(out, "Device path:        %s\n", device->devicePath.c_str());
        std::fprintf(out, "Variant:            %s\n", view.entry ? view.entry->variantName : "not supported");
        if (view.entry) {
            std::fprintf(out, "Installed firmware: %s\n", installedColumn(view).c_str());
            std::fprintf(out, "Carried firmware:   %s (%u bytes at 0x%X)\n",
                         carriedVersion(*view.entry).value_or("Invalid Firmware Image").c_str(),
                         view.entry->imageSize, view.entry->loadAddress);
            std::fprintf(out, "\n%s", object["releaseNotes"].get<std::string>().c_str());
        }
    }
    if (!view.entry) {
        std::fprintf(output.messages, "%s\n", notSupported);
        return exitFailure;
    }
    if (!view.error.empty()) {
        std::fprintf(output.messages, "Error: %s\n", view.error.c_str());
        return exitFailure;
    }
    return exitSuccess;
}

int runInstall(const Options &options, Output &output)
{
    DeviceList targets;
    if (options.all) {
        targets = attachedAdapters();
        if (targets.empty())
            return noChoice(output, noDevices, targets);
    } else {
        int exitCode = exitSuccess;
        const std::optional<UsbDeviceInfo> device = chooseAdapter(options, output, exitCode);
        if (!device)
            return exitCode;
        targets = {*device};
    }

    json results = json::array();
    int installed = 0, failed = 0, skipped = 0;
    for (const UsbDeviceInfo &device : targets) {
        const FirmwareImage *entry = device.firmwareImage();
        json object = {{"serial", device.serialNumber},
                       {"productId", device.productId},
                       {"variant", entry ? json(entry->variantName) : json(nullptr)}};
        if (!entry) {
            // With --all an unsupported adapter is passed over; asked for by
            // name it is a failure.
            object["outcome"] = options.all ? "skipped" : "failed";
            object["message"] = notSupported;
            (options.all ? skipped : failed) += 1;
            std::fprintf(output.messages, "%s (%s)\n", notSupported, device.serialNumber.c_str());
            results.push_back(object);
            continue;
        }
        const InstallResult result = installOne(device, *entry, output);
        object["versionBefore"] = optionalText(result.before);
        object["versionAfter"] = optionalText(result.after);
        object["outcome"] = result.installed ? "installed" : "failed";
        object["message"] = result.message;
        object["durationSeconds"] = result.seconds;
        if (output.simulation) {
            object["flashCrc32"] = optionalText(std::nullopt);
            if (const std::optional<std::uint32_t> crc = output.simulation->flashCrc(device.serialNumber))
                object["flashCrc32"] = *crc;
            object["imageCrc32"] = crc32(entry->image, entry->imageSize);
        }
        results.push_back(object);
        if (result.installed) {
            ++installed;
            if (!output.json)
                std::fprintf(output.text, "Installed %s on %s in %.1f s\n", result.after->c_str(),
                             device.serialNumber.c_str(), result.seconds);
        } else {
            ++failed;
            std::fprintf(output.messages, "Error: %s\n", result.message.c_str());
        }
    }
    output.document["adapters"] = results;
    if (targets.size() > 1 && !output.json)
        std::fprintf(output.text, "%d installed, %d failed, %d skipped\n", installed, failed, skipped);
    return failed > 0 ? exitFailure : exitSuccess;
}
