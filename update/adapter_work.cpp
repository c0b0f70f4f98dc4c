#include "update/adapter_work.h"

#include <algorithm>
#include <cstdio>

#include "datalink/hexception.h"
#include "loader/loader_info.h"
#include "platform/platform.h"
#include "update/adapter_link.h"
#include "update/attached_adapters.h"
#include "update/firmware_image.h"

namespace {

// Ends the work at a point where a stop was asked for.
struct Stopped {};

// The installed adapter among those attached now, read again.
std::optional<std::string> rereadInstalledVersion(const UsbDeviceInfo &installed, InstallHost &host)
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
        if (host.stopRequested())
            throw Stopped{};
        platform::clock().sleep(rereadPause);
    }
}

InstallPass passFor(Work work)
{
    switch (work) {
    case Work::install: return InstallPass::install;
    case Work::installIfNeeded: return InstallPass::installIfNeeded;
    default: return InstallPass::compareOnly;
    }
}

std::string hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string differenceText(const FirmwareImage &entry, const FlashComparison &c)
{
    const FlashRange piece = firstDifferingPiece(entry, c);
    return "the flash differs from the carried firmware in " + std::to_string(c.differing) + " of " +
           std::to_string(c.pieces) + " pieces; the first is piece " + std::to_string(c.firstDiffering) + " at " +
           hex(piece.address) + " (" + std::to_string(piece.length) + " bytes)";
}

// What a stop left behind, for whoever decides what to do next.
std::string interruptionText(const AdapterResult &result)
{
    const std::string adapter = std::string(result.entry->variantName) + " " + result.device.serialNumber;
    const std::string repair = "; installing again repairs it";
    switch (result.task.value_or(InstallTask::read)) {
    case InstallTask::reread:
        return "interrupted after the firmware was written and verified, before " + adapter + " was read again";
    case InstallTask::verify:
        return "interrupted while verifying: " + adapter + " may be left partly written" + repair;
    case InstallTask::erase:
    case InstallTask::download:
        return "interrupted: " + adapter + " is left partly written" + repair;
    default:
        return "interrupted before anything was written to " + adapter;
    }
}

// Keeps the last task that ended early, and tells the work's host.
class TaskWatch : public AdapterWorkHost {
public:
    explicit TaskWatch(AdapterWorkHost &host) : host_(host) {}

    void workBegins(const UsbDeviceInfo &device) override { host_.workBegins(device); }
    void taskStarted(InstallTask task, int bytes) override
    {
        task_ = task;
        total_ = bytes;
        host_.taskStarted(task, bytes);
    }
    void taskProgress(int bytesDone) override { host_.taskProgress(bytesDone); }
    void taskEndedEarly(int bytesDone) override
    {
        stopped_ = TaskStop{task_, bytesDone, total_};
        host_.taskEndedEarly(bytesDone);
    }
    bool stopRequested() override { return host_.stopRequested(); }

    const std::optional<TaskStop> &stopped() const { return stopped_; }

private:
    AdapterWorkHost &host_;
    InstallTask task_ = InstallTask::compare;
    int total_ = 0;
    std::optional<TaskStop> stopped_;
};

}  // namespace

const char *nameOf(FlashLeft flash)
{
    switch (flash) {
    case FlashLeft::partlyWritten: return "partly-written";
    case FlashLeft::written: return "written";
    default: return "untouched";
    }
}

FlashRange firstDifferingPiece(const FirmwareImage &entry, const FlashComparison &comparison)
{
    const std::uint32_t offset = comparison.firstDiffering * FirmwareInstaller::verifyPiece;
    return {entry.loadAddress + offset, std::min(FirmwareInstaller::verifyPiece, entry.imageSize - offset)};
}

AdapterResult workOn(const UsbDeviceInfo &device, Work work, bool passOverUnsupported, AdapterWorkHost &host)
{
    host.workBegins(device);
    AdapterResult result;
    result.device = device;
    result.work = work;
    result.entry = device.firmwareImage();
    if (!result.entry) {
        result.outcome = passOverUnsupported ? Outcome::skipped : Outcome::failed;
        result.failure = Failure{ErrorKind::unsupported, unsupportedAdapterText};
        return result;
    }
    const FirmwareImage &entry = *result.entry;
    const double start = platform::secondsNow();
    TaskWatch watch(host);
    result.task = InstallTask::read;
    try {
        const std::optional<std::string> carried = carriedVersion(entry);
        if (!carried)
            throw HException(ErrorKind::invalidImage, invalidImageText);
        if (host.stopRequested())
            throw Stopped{};
        std::unique_ptr<HDataLink> link = openAdapterLink(device);
        LoaderInfo info;
        link->getLoaderInfo(info);
        result.before = installedVersion(info);
        host.workStarted(result);

        FirmwareInstaller installer(device, link, !result.before, watch);
        InstallReport report;
        try {
            report = installer.run(passFor(work));
        } catch (...) {
            result.task = installer.task();
            throw;
        }
        link.reset();  // the pipes are the adapter's own: free them for the re-read
        if (report.written)
            result.flash = FlashLeft::written;
        if (report.compared)
            result.comparison = report.comparison;
        if (!report.written) {
            result.after = result.before;
            const bool identical = report.comparison.identical();
            result.outcome = work == Work::verify ? (identical ? Outcome::verified : Outcome::differs) : Outcome::current;
            if (!identical) {
                result.task = InstallTask::compare;
                result.failure = Failure{ErrorKind::verifyMismatch, differenceText(entry, report.comparison)};
            }
        } else {
            result.task = InstallTask::reread;
            result.after = rereadInstalledVersion(device, host);
            if (result.after != carried)
                throw Failure{ErrorKind::wrongVersion,
                              "the adapter reports " + result.after.value_or(notInstalledText) + " after the install"};
            result.outcome = Outcome::installed;
        }
        if (result.succeeded())
            result.task.reset();
    } catch (const HException &e) {
        result.failure = failureOf(e);
    } catch (const Failure &failure) {
        result.failure = failure;
    } catch (const InstallInterrupted &) {
        result.failure = Failure{ErrorKind::interrupted, {}};
    } catch (const Stopped &) {
        result.failure = Failure{ErrorKind::interrupted, {}};
    }
    result.stoppedIn = watch.stopped();
    // A failure or a stop once the erase began leaves the flash unfinished
    // (a verify runs only after a write: one that fails leaves it unchecked).
    const bool writing = result.task == InstallTask::erase || result.task == InstallTask::download ||
                         result.task == InstallTask::verify;
    if (result.failure && writing)
        result.flash = FlashLeft::partlyWritten;
    // A stop that came while a command waited for its reply ends the wait
    // as a time-out or a failed transfer: the stop is why, not the adapter.
    // (A comparison that found a difference ran to its end: it stays.)
    const bool cutShort = result.failure && result.failure->kind != ErrorKind::verifyMismatch;
    if (cutShort && host.stopRequested()) {
        result.outcome = Outcome::interrupted;
        result.failure = Failure{ErrorKind::interrupted, interruptionText(result)};
    } else if (result.failure && result.outcome != Outcome::differs) {
        result.outcome = Outcome::failed;
    }
    result.seconds = platform::secondsNow() - start;
    return result;
}
