#include "cli/adapter_choice.h"

#include <algorithm>
#include <array>

#include "platform/device_text.h"
#include "cli/output.h"
#include "cli/stop_signal.h"
#include "datalink/hexception.h"
#include "loader/loader_info.h"
#include "update/adapter_link.h"
#include "update/firmware_image.h"

namespace {

constexpr const char *libusbPathPrefix = "usb:";

using nlohmann::json;

}  // namespace

json deviceText(const std::string &text) { return platform::utf8FromLatin1(text); }

json optionalDeviceText(const std::optional<std::string> &text) { return text ? deviceText(*text) : json(nullptr); }

void noteFailure(Output &output, const Failure &failure)
{
    output.document["errorKind"] = nameOf(failure.kind);
    output.document["message"] = deviceText(failure.message);
}

std::string portOf(const UsbDeviceInfo &device)
{
    const std::string &path = device.devicePath;
    const std::string prefix = libusbPathPrefix;
    return path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
}

std::string devicePathAt(const std::string &port, std::string_view backend)
{
    const std::string prefix = libusbPathPrefix;
    return backend == "libusb" && !port.starts_with(prefix) ? prefix + port : port;
}

bool isSelected(const UsbDeviceInfo &device, const Options &options)
{
    if (options.serialNumber && *options.serialNumber != device.serialNumber &&
        *options.serialNumber != platform::utf8FromLatin1(device.serialNumber) &&
        *options.serialNumber != platform::terminalFromLatin1(device.serialNumber))
        return false;
    if (options.port && *options.port != portOf(device) && *options.port != device.devicePath)
        return false;
    return true;
}

std::optional<std::string> readInstalledVersion(const UsbDeviceInfo &device)
{
    std::unique_ptr<HDataLink> link = openAdapterLink(device);
    LoaderInfo info;
    link->getLoaderInfo(info);
    return installedVersion(info);
}

json AdapterView::toJson() const
{
    json object = {{"serial", deviceText(device.serialNumber)},
                   {"productId", device.productId},
                   {"port", deviceText(portOf(device))},
                   {"supported", entry != nullptr},
                   {"variant", entry ? json(entry->variantName) : json(nullptr)},
                   {"installedVersion", optionalDeviceText(installed)},
                   {"carriedVersion", entry ? optionalDeviceText(carriedVersion(*entry)) : json(nullptr)},
                   {"errorKind", failure ? json(nameOf(failure->kind)) : json(nullptr)}};
    if (failure)
        object["message"] = deviceText(failure->message);
    return object;
}

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
        // A stop ends a wait for the loader's answer as a failure of its own.
        view.failure = stopSignal() != 0 ? Failure{ErrorKind::interrupted, "interrupted while reading the adapter"}
                                         : failureOf(e);
    }
    return view;
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

std::string installedColumn(const AdapterView &view)
{
    if (!view.entry)
        return "-";
    if (view.failure)
        return "(" + view.failure->message + ")";
    return view.installed.value_or(notInstalledText);
}

namespace {

// The columns a terminal gives text made by platform::terminalFromLatin1:
// one for each character, whatever the length of its UTF-8.
std::size_t columnsOf(const std::string &shown)
{
    return static_cast<std::size_t>(
        std::count_if(shown.begin(), shown.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

// Each column as wide as its widest cell, so that no serial number or
// message, however long, pushes the columns after it out of line.
void printTable(std::FILE *out, const std::vector<AdapterView> &views)
{
    using Row = std::array<std::string, 6>;
    std::vector<Row> rows{{"SERIAL", "PRODUCT", "VARIANT", "INSTALLED", "CARRIED", "PORT"}};
    for (const AdapterView &view : views) {
        const std::string carried =
            view.entry ? carriedVersion(*view.entry).value_or("Invalid Firmware Image") : std::string("-");
        const std::string &serial = view.device.serialNumber;
        rows.push_back({serial.empty() ? "(none)" : platform::terminalFromLatin1(serial),
                        std::to_string(view.device.productId),
                        view.entry ? view.entry->variantName : "not supported",
                        platform::terminalFromLatin1(installedColumn(view)), platform::terminalFromLatin1(carried),
                        platform::terminalFromLatin1(portOf(view.device))});
    }
    std::array<std::size_t, 6> widths{};
    for (const Row &row : rows)
        for (std::size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], columnsOf(row[column]));
    for (const Row &row : rows) {
        std::string line;
        for (std::size_t column = 0; column + 1 < row.size(); ++column)
            line += row[column] + std::string(widths[column] - columnsOf(row[column]) + 1, ' ');
        line += row.back();
        std::fprintf(out, "%s\n", line.c_str());
    }
}

namespace {

// Ends a command that found no adapter to work on: says why, and lists the
// adapters there are to choose from.
int noChoice(Output &output, const Failure &failure, const DeviceList &listed)
{
    const std::vector<AdapterView> views = viewsOf(listed);
    noteFailure(output, failure);
    output.document["attached"] = jsonOf(views);
    std::fprintf(output.messages(), "%s\n", platform::terminalFromLatin1(failure.message).c_str());
    if (!views.empty() && !output.json())
        printTable(output.messages(), views);
    return exitNoAdapter;
}

std::string selectionText(const Options &options)
{
    // Messages are 8-bit text, as the adapters' own; the command line is
    // UTF-8 where a user typed it, or the very bytes where it was pasted.
    const auto asTyped = [](const std::string &argument) {
        return platform::exactLatin1FromUtf8(argument).value_or(argument);
    };
    return options.serialNumber ? "serial number " + asTyped(*options.serialNumber)
                                : "port " + asTyped(options.port.value_or(""));
}

}  // namespace

std::optional<DeviceList> chooseAdapters(const Options &options, Output &output, int &exitCode)
{
    const DeviceList attached = attachedAdapters();
    if (options.all) {
        if (attached.empty()) {
            exitCode = noChoice(output, {ErrorKind::notFound, noAdaptersText}, attached);
            return std::nullopt;
        }
        return attached;
    }
    if (options.serialNumber || options.port) {
        DeviceList chosen;
        for (const UsbDeviceInfo &device : attached)
            if (isSelected(device, options))
                chosen.push_back(device);
        if (chosen.size() == 1)
            return chosen;
        if (chosen.empty()) {
            exitCode = noChoice(output, {ErrorKind::notFound, "no adapter with " + selectionText(options)}, attached);
        } else {
            exitCode = noChoice(output,
                                {ErrorKind::ambiguous, std::to_string(chosen.size()) + " adapters with " +
                                                           selectionText(options) + ": choose one with --port"},
                                chosen);
        }
        return std::nullopt;
    }
    if (attached.size() == 1)
        return attached;
    if (attached.empty()) {
        exitCode = noChoice(output, {ErrorKind::notFound, noAdaptersText}, attached);
    } else {
        exitCode = noChoice(output,
                            {ErrorKind::ambiguous, std::string(severalAdaptersText) +
                                                       " Choose one with --serial or --port, or use --all."},
                            attached);
    }
    return std::nullopt;
}
