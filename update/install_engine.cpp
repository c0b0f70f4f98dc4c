#include "update/install_engine.h"

#include <string>

#include "datalink/hexception.h"
#include "platform/platform.h"
#include "update/adapter_link.h"
#include "update/firmware_image.h"

namespace {

const char *const bytesUnit = "bytes";

// One task: the range in pieces of `piece` bytes, `operation` on each, the
// count reported after each. A failure reports the task complete, so the
// progress display is cleared before the error is shown, and travels on with
// the task's prefix.
template <typename Operation>
void runTask(InstallHost &host, std::uint32_t address, std::uint32_t length, std::uint32_t piece,
             const char *description, const char *prefix, Operation operation)
{
    host.progress(0, static_cast<int>(length), description, bytesUnit);
    try {
        std::uint32_t remaining = length;
        std::uint32_t done = 0;
        while (remaining > piece) {
            operation(address, piece, done);
            address += piece;
            remaining -= piece;
            done += piece;
            host.progress(static_cast<int>(done), -1, nullptr, nullptr);
        }
        if (remaining > 0) {
            operation(address, remaining, done);
            host.progress(static_cast<int>(done + remaining), -1, nullptr, nullptr);
        }
    } catch (const HException &e) {
        host.progress(static_cast<int>(length), -1, nullptr, nullptr);
        throw HException(prefix + e.message());
    }
}

}  // namespace

FirmwareInstaller::FirmwareInstaller(const UsbDeviceInfo &device, std::unique_ptr<HDataLink> &link,
                                     bool notInstalled, InstallHost &host)
    : device_(device), link_(link), notInstalled_(notInstalled), host_(host)
{
}

void FirmwareInstaller::run()
{
    const FirmwareImage &entry = *device_.firmwareImage();
    host_.setInstallEnabled(false);
    host_.setPollingEnabled(false);
    try {
        // Every re-open attempt may have failed last time: start from a link.
        if (!link_)
            link_ = openAdapterLink(device_);
        connectLoader(entry);
        erase(*link_, entry.loadAddress, entry.imageSize);
        download(*link_, entry.loadAddress, entry.imageSize, entry.image);
        verify(*link_, entry.loadAddress, entry.imageSize, entry.image);
        link_->disconnect();
    } catch (const HException &) {
        host_.setInstallEnabled(true);
        host_.setPollingEnabled(true);
        throw;
    }
    host_.invalidatePanel();
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
        try {
            link_ = openAdapterLink(device_);
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
    runTask(host_, address, length, erasePiece, "Erasing memory, do not remove Vantrel", "Erase failed : ",
            [&](std::uint32_t at, std::uint32_t size, std::uint32_t) { link.eraseMemory(at, size); });
}

void FirmwareInstaller::download(HDataLink &link, std::uint32_t address, std::uint32_t length,
                                 const std::uint8_t *bytes)
{
    runTask(host_, address, length, writePiece, "Downloading firmware, do not remove Vantrel", "Download failed : ",
            [&](std::uint32_t at, std::uint32_t size, std::uint32_t offset) {
                link.writeMemory(at, size, bytes + offset);
            });
}

void FirmwareInstaller::verify(HDataLink &link, std::uint32_t address, std::uint32_t length,
                               const std::uint8_t *bytes)
{
    runTask(host_, address, length, verifyPiece, "Verifying firmware", "Verify failed : ",
            [&](std::uint32_t at, std::uint32_t size, std::uint32_t offset) {
                if (!link.verifyMemory(at, size, bytes + offset))
                    throw HException("crc check mismatch");
            });
}
