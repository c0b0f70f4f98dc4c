#include "update/install_engine.h"

#include <string>

#include "datalink/hexception.h"
#include "platform/platform.h"
#include "update/adapter_link.h"
#include "update/firmware_image.h"

namespace {

const char *const verifyPrefix = "Verify failed : ";

// What a task of pieces calls a failure of its own, with its prefix. A
// reply that never comes to one of its commands is its failure too: the
// loader answered before, so it is the command that failed. A link that
// breaks (an adapter pulled out) stays a link failure.
struct TaskFailure {
    const char *prefix;
    ErrorKind kind;

    HException wrap(const HException &e) const
    {
        return HException(e.kind() == ErrorKind::noReply ? kind : e.kind(), prefix + e.message());
    }
};

// One task: the range in pieces of `piece` bytes, `operation` on each, the
// count reported after each. A failure reports the task complete, so the
// progress display is cleared before the error is shown, and travels on with
// the task's prefix. A stop that the host asks for ends the task the same way
// at a piece boundary.
template <typename Operation>
void runTask(InstallHost &host, InstallTask task, std::uint32_t address, std::uint32_t length, std::uint32_t piece,
             const TaskFailure &failure, Operation operation)
{
    host.taskStarted(task, static_cast<int>(length));
    std::uint32_t done = 0;
    auto endEarly = [&] {
        host.taskEndedEarly(static_cast<int>(done));
        host.taskProgress(static_cast<int>(length));
    };
    auto stopPoint = [&] {
        if (host.stopRequested()) {
            endEarly();
            throw InstallInterrupted{};
        }
    };
    try {
        std::uint32_t remaining = length;
        while (remaining > piece) {
            stopPoint();
            operation(address, piece, done);
            address += piece;
            remaining -= piece;
            done += piece;
            host.taskProgress(static_cast<int>(done));
        }
        if (remaining > 0) {
            stopPoint();
            operation(address, remaining, done);
            host.taskProgress(static_cast<int>(done + remaining));
        }
    } catch (const HException &e) {
        endEarly();
        throw failure.wrap(e);
    }
}

}  // namespace

FirmwareInstaller::FirmwareInstaller(const UsbDeviceInfo &device, std::unique_ptr<HDataLink> &link,
                                     bool notInstalled, InstallHost &host)
    : device_(device), link_(link), notInstalled_(notInstalled), host_(host)
{
}

void FirmwareInstaller::run() { run(InstallPass::install); }

InstallReport FirmwareInstaller::run(InstallPass pass)
{
    const FirmwareImage &entry = *device_.firmwareImage();
    InstallReport report;
    host_.setInstallEnabled(false);
    host_.setPollingEnabled(false);
    try {
        task_ = InstallTask::connect;
        // Every re-open attempt may have failed last time: start from a link.
        if (!link_)
            link_ = openAdapterLink(device_);
        connectLoader(entry);
        if (pass != InstallPass::install) {
            report.compared = true;
            report.comparison = compare(*link_, entry.loadAddress, entry.imageSize, entry.image);
        }
        if (pass == InstallPass::install ||
            (pass == InstallPass::installIfNeeded && !report.comparison.identical())) {
            erase(*link_, entry.loadAddress, entry.imageSize);
            download(*link_, entry.loadAddress, entry.imageSize, entry.image);
            verify(*link_, entry.loadAddress, entry.imageSize, entry.image);
            report.written = true;
        }
        task_ = InstallTask::disconnect;
        link_->disconnect();
    } catch (const HException &) {
        restoreHost();
        throw;
    } catch (const InstallInterrupted &) {
        restoreHost();
        throw;
    }
    if (report.written)
        host_.invalidatePanel();
    restoreHost();
    return report;
}

void FirmwareInstaller::restoreHost()
{
    host_.setInstallEnabled(true);
    host_.setPollingEnabled(true);
}

void FirmwareInstaller::connectLoader(const FirmwareImage &entry)
{
    if (notInstalled_ || !entry.reopenAfterConnect) {
        link_->connect(true);
        return;
    }
    // The firmware reboots into the boot loader on this connect and drops
    // off the bus, so its answer, if any, does not matter.
    try {
        link_->connect(true);
    } catch (const HException &) {
    }
    reopenAndConnect();
}

void FirmwareInstaller::reopenAndConnect()
{
    for (int retriesLeft = reopenRetries;; --retriesLeft) {
        link_.reset();
        platform::clock().sleep(reopenPause);
        if (host_.stopRequested())
            throw InstallInterrupted{};
        try {
            link_ = openAdapterLink(device_);
        } catch (const HException &e) {
            // Gone for good, whatever the last attempt met.
            if (retriesLeft == 0)
                throw HException(ErrorKind::notBack, e.message());
            continue;
        }
        try {
            link_->connect(true);
            return;
        } catch (const HException &) {
            if (retriesLeft == 0)
                throw;
        }
    }
}

void FirmwareInstaller::erase(HDataLink &link, std::uint32_t address, std::uint32_t length)
{
    task_ = InstallTask::erase;
    runTask(host_, task_, address, length, erasePiece, {"Erase failed : ", ErrorKind::eraseFailed},
            [&](std::uint32_t at, std::uint32_t size, std::uint32_t) { link.eraseMemory(at, size); });
}

void FirmwareInstaller::download(HDataLink &link, std::uint32_t address, std::uint32_t length,
                                 const std::uint8_t *bytes)
{
    task_ = InstallTask::download;
    runTask(host_, task_, address, length, writePiece, {"Download failed : ", ErrorKind::writeFailed},
            [&](std::uint32_t at, std::uint32_t size, std::uint32_t offset) {
                link.writeMemory(at, size, bytes + offset);
            });
}

void FirmwareInstaller::verify(HDataLink &link, std::uint32_t address, std::uint32_t length,
                               const std::uint8_t *bytes)
{
    task_ = InstallTask::verify;
    runTask(host_, task_, address, length, verifyPiece, {verifyPrefix, ErrorKind::verifyFailed},
            [&](std::uint32_t at, std::uint32_t size, std::uint32_t offset) {
                if (!link.verifyMemory(at, size, bytes + offset))
                    throw HException(ErrorKind::verifyMismatch, "crc check mismatch");
            });
}

FlashComparison FirmwareInstaller::compare(HDataLink &link, std::uint32_t address, std::uint32_t length,
                                           const std::uint8_t *bytes)
{
    FlashComparison comparison;
    task_ = InstallTask::compare;
    runTask(host_, task_, address, length, verifyPiece, {verifyPrefix, ErrorKind::verifyFailed},
            [&](std::uint32_t at, std::uint32_t size, std::uint32_t offset) {
                if (!link.verifyMemory(at, size, bytes + offset)) {
                    if (comparison.differing++ == 0)
                        comparison.firstDiffering = comparison.pieces;
                }
                ++comparison.pieces;
            });
    return comparison;
}
