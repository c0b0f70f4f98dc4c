#include "cli/adapter_work.h"

#include <cmath>

#include "cli/adapter_choice.h"
#include "platform/device_text.h"
#include "cli/output.h"
#include "cli/simulation.h"
#include "cli/stop_signal.h"
#include "datalink/hexception.h"
#include "loader/crc32.h"
#include "loader/loader_info.h"
#include "platform/platform.h"
#include "update/adapter_link.h"
#include "update/firmware_image.h"

namespace {

using nlohmann::json;

constexpr int rereadAttempts = 11;
constexpr std::uint32_t rereadPause = 1000;

// Where the work was when a stop came: it decides what the stop left behind.
enum class Stage { reading, sequence, reread };

// Opens the adapter afresh after an install; an adapter that rebooted may
// take a moment to come back.
std::optional<std::string> rereadInstalledVersion(const UsbDeviceInfo &installed)
{
    for (int attempt = 1;; ++attempt) {
        Failure failure{ErrorKind::deviceError, {}};
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
            failure = same.empty() ? Failure{ErrorKind::notBack, "the adapter did not come back after the install"}
                                   : Failure{ErrorKind::ambiguous,
                                             "the installed adapter cannot be told apart from another one"};
        } catch (const HException &e) {
            failure = failureOf(e);
        }
        if (attempt == rereadAttempts)
            throw failure;
        if (stopSignal() != 0)
            throw InstallInterrupted{};
        platform::clock().sleep(rereadPause);
    }
}

std::string hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// The first differing piece's place in flash and its size.
std::pair<std::uint32_t, std::uint32_t> firstDifferingPiece(const FirmwareImage &entry, const FlashComparison &c)
{
    const std::uint32_t offset = c.firstDiffering * FirmwareInstaller::verifyPiece;
    return {entry.loadAddress + offset, std::min(FirmwareInstaller::verifyPiece, entry.imageSize - offset)};
}

std::string differenceText(const FirmwareImage &entry, const FlashComparison &c)
{
    const auto [address, length] = firstDifferingPiece(entry, c);
    return "the flash differs from the carried firmware in " + std::to_string(c.differing) + " of " +
           std::to_string(c.pieces) + " pieces; the first is piece " + std::to_string(c.firstDiffering) + " at " +
           hex(address) + " (" + std::to_string(length) + " bytes)";
}

std::string interruptionText(const AdapterResult &result, Stage stage)
{
    const std::string adapter = std::string(result.entry->variantName) + " " + result.device.serialNumber;
    if (stage == Stage::reread)
        return "interrupted after the firmware was written and verified, before " + adapter + " was read again";
    const std::string repair = "; vantrel-flash install again repairs it";
    if (result.stoppedIn && result.stoppedIn->task == "verify")
        return "interrupted while verifying: " + adapter + " may be left partly written" + repair;
    if (result.stoppedIn && result.stoppedIn->task != "compare")
        return "interrupted: " + adapter + " is left partly written" + repair;
    return "interrupted before anything was written to " + adapter;
}

InstallPass passFor(Work work)
{
    switch (work) {
    case Work::install: return InstallPass::install;
    case Work::installIfNeeded: return InstallPass::installIfNeeded;
    default: return InstallPass::compareOnly;
    }
}

}  // namespace

Work workOf(const Options &options)
{
    if (options.command == Options::Command::verify)
        return Work::verify;
    return options.ifNeeded ? Work::installIfNeeded : Work::install;
}

AdapterResult workOn(const UsbDeviceInfo &device, Work work, bool passOverUnsupported, Output &output)
{
    AdapterResult result;
    result.device = device;
    result.entry = device.firmwareImage();
    if (!result.entry) {
        result.outcome = passOverUnsupported ? "skipped" : "failed";
        result.failure = Failure{ErrorKind::unsupported, unsupportedAdapterText};
        return result;
    }
    const FirmwareImage &entry = *result.entry;
    const double start = secondsNow();
    ProgressDisplay display(output);
    Stage stage = Stage::reading;
    try {
        const std::optional<std::string> carried = carriedVersion(entry);
        if (!carried)
            throw Failure{ErrorKind::invalidImage, "Invalid Firmware Image"};
        if (stopSignal() != 0)
            throw InstallInterrupted{};
        std::unique_ptr<HDataLink> link = openAdapterLink(device);
        LoaderInfo info;
        link->getLoaderInfo(info);
        result.before = installedVersion(info);
        if (!output.json()) {
            const char *doing = work == Work::verify            ? "Verifying"
                                : work == Work::installIfNeeded ? "Installing if needed"
                                                                : "Installing";
            // A verify writes nothing: it compares with the carried firmware.
            const char *arrow = work == Work::verify ? "against" : "->";
            std::fprintf(output.results(), "%s %s on %s: %s %s %s\n", doing, entry.variantName,
                         platform::terminalFromLatin1(device.serialNumber).c_str(),
                         platform::terminalFromLatin1(result.before.value_or(notInstalledText)).c_str(), arrow,
                         platform::terminalFromLatin1(*carried).c_str());
        }
        stage = Stage::sequence;
        const InstallReport report = FirmwareInstaller(device, link, !result.before, display).run(passFor(work));
        link.reset();  // the pipes are the adapter's own: free them for the re-read
        if (report.compared)
            result.comparison = report.comparison;
        if (!report.written) {
            result.after = result.before;
            const bool identical = report.comparison.identical();
            result.outcome = work == Work::verify ? (identical ? "verified" : "differs") : "current";
            if (!identical)
                result.failure = Failure{ErrorKind::verifyMismatch, differenceText(entry, report.comparison)};
        } else {
            stage = Stage::reread;
            result.after = rereadInstalledVersion(device);
            if (result.after != carried)
                throw Failure{ErrorKind::wrongVersion,
                              "the adapter reports " + result.after.value_or(notInstalledText) + " after the install"};
            result.outcome = "installed";
        }
    } catch (const HException &e) {
        result.failure = failureOf(e);
    } catch (const Failure &failure) {
        result.failure = failure;
    } catch (const InstallInterrupted &) {
        result.failure = Failure{ErrorKind::interrupted, {}};
    }
    // A stop that came while a command waited for its reply ends the wait
    // as a time-out or a failed transfer: the stop is why, not the adapter.
    // (A comparison that found a difference ran to its end: it stays.)
    const bool cutShort = result.failure && result.failure->kind != ErrorKind::verifyMismatch;
    if (cutShort && stopSignal() != 0) {
        result.outcome = "interrupted";
        result.stoppedIn = display.stoppedTask();
        result.failure = Failure{ErrorKind::interrupted, interruptionText(result, stage)};
    }
    if (!result.stoppedIn)
        result.stoppedIn = display.stoppedTask();
    result.seconds = secondsNow() - start;
    return result;
}

json jsonOf(const AdapterResult &result, const Output &output)
{
    const FirmwareImage *entry = result.entry;
    json object = {{"serial", deviceText(result.device.serialNumber)},
                   {"productId", result.device.productId},
                   {"port", deviceText(portOf(result.device))},
                   {"variant", entry ? json(entry->variantName) : json(nullptr)},
                   {"outcome", result.outcome},
                   {"errorKind", result.failure ? json(nameOf(result.failure->kind)) : json(nullptr)},
                   {"message", result.failure ? deviceText(result.failure->message) : json("")},
                   {"versionBefore", optionalDeviceText(result.before)},
                   {"versionAfter", optionalDeviceText(result.after)},
                   {"carriedVersion", entry ? optionalDeviceText(carriedVersion(*entry)) : json(nullptr)},
                   // Milliseconds are what a real adapter's timing can tell apart.
                   {"durationSeconds", std::round(result.seconds * 1000) / 1000}};
    if (result.comparison && entry) {
        const FlashComparison &c = *result.comparison;
        json comparison = {{"pieces", c.pieces}, {"differing", c.differing}, {"firstDiffering", nullptr}};
        if (!c.identical()) {
            const auto [address, length] = firstDifferingPiece(*entry, c);
            comparison["firstDiffering"] = {{"piece", c.firstDiffering}, {"address", address}, {"length", length}};
        }
        object["comparison"] = comparison;
    }
    if (result.stoppedIn)
        object["stoppedIn"] = {{"task", result.stoppedIn->task},
                               {"bytesDone", result.stoppedIn->done},
                               {"bytes", result.stoppedIn->total}};
    if (output.simulation && entry) {
        object["flashCrc32"] = nullptr;
        if (const std::optional<std::uint32_t> crc = output.simulation->flashCrc(result.device.devicePath))
            object["flashCrc32"] = *crc;
        object["imageCrc32"] = crc32(entry->image, entry->imageSize);
    }
    return object;
}

// Device text, and the messages that quote it, reach the terminal as
// platform::terminalFromLatin1 shows them.
void printResult(const AdapterResult &result, Output &output)
{
    using platform::terminalFromLatin1;
    const std::string serial = terminalFromLatin1(result.device.serialNumber);
    const std::string outcome = result.outcome;
    if (result.failure) {
        const Failure &failure = *result.failure;
        const std::string message = terminalFromLatin1(failure.message);
        if (outcome == "skipped" || failure.kind == ErrorKind::unsupported)
            std::fprintf(output.messages(), "%s (%s)\n", message.c_str(), serial.c_str());
        else if (result.interrupted())
            std::fprintf(output.messages(), "%s\n", message.c_str());
        else if (outcome == "differs")
            std::fprintf(output.messages(), "%s: %s\n", serial.c_str(), message.c_str());
        else
            std::fprintf(output.messages(), "Error: %s\n", message.c_str());
        return;
    }
    if (output.json())
        return;
    const std::string version = terminalFromLatin1(result.after.value_or(notInstalledText));
    if (outcome == "installed")
        std::fprintf(output.results(), "Installed %s on %s in %.1f s\n", version.c_str(), serial.c_str(),
                     result.seconds);
    else if (outcome == "current")
        std::fprintf(output.results(), "%s already holds %s: nothing written (%.1f s)\n", serial.c_str(),
                     version.c_str(), result.seconds);
    else
        std::fprintf(output.results(), "%s holds the carried firmware %s (%.1f s)\n", serial.c_str(),
                     version.c_str(), result.seconds);
}
