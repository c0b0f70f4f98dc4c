#include "cli/adapter_choice.h"

#include "platform/device_text.h"
#include "update/attached_adapters.h"

namespace {

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

AdapterChoice noChoice(ErrorKind kind, std::string message, const DeviceList &candidates)
{
    return {{}, Failure{kind, std::move(message)}, viewsOf(candidates)};
}

}  // namespace

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

AdapterChoice chooseAdapters(const Options &options)
{
    const DeviceList attached = attachedAdapters();
    if (options.all) {
        if (attached.empty())
            return noChoice(ErrorKind::notFound, noAdaptersText, attached);
        return {attached, std::nullopt, {}};
    }
    if (options.serialNumber || options.port) {
        DeviceList chosen;
        for (const UsbDeviceInfo &device : attached)
            if (isSelected(device, options))
                chosen.push_back(device);
        if (chosen.size() == 1)
            return {chosen, std::nullopt, {}};
        if (chosen.empty())
            return noChoice(ErrorKind::notFound, "no adapter with " + selectionText(options), attached);
        return noChoice(ErrorKind::ambiguous,
                        std::to_string(chosen.size()) + " adapters with " + selectionText(options) +
                            ": choose one with --port",
                        chosen);
    }
    if (attached.size() == 1)
        return {attached, std::nullopt, {}};
    if (attached.empty())
        return noChoice(ErrorKind::notFound, noAdaptersText, attached);
    return noChoice(ErrorKind::ambiguous,
                    std::string(severalAdaptersText) + " Choose one with --serial or --port, or use --all.", attached);
}
