#pragma once

#include <cstdint>
#include <memory>

#include "datalink/data_link.h"
#include "discovery/usb_device_info.h"

struct FirmwareImage;

// What the install sequence drives besides the adapter: the progress display,
// the install control and the device poll of whoever started it (the window's
// panel or the command-line tool).
class InstallHost {
public:
    virtual ~InstallHost() = default;
    // The progress contract: steps -1 keeps the total, a null description
    // leaves the status alone.
    virtual void progress(int step, int steps, const char *taskdesc, const char *units) = 0;
    virtual void setInstallEnabled(bool enabled) = 0;
    virtual void setPollingEnabled(bool enabled) = 0;
    // Asks the poll to rebuild the panel so that it reads the new version.
    virtual void invalidatePanel() = 0;
};

// The install sequence for one adapter: connect (re-opening the link when
// the variant reboots into its boot loader), erase, download, verify,
// disconnect. Failures leave as HException after the host is restored.
class FirmwareInstaller {
public:
    static constexpr std::uint32_t erasePiece = 8192;
    static constexpr std::uint32_t writePiece = 4096;
    static constexpr std::uint32_t verifyPiece = 8192;
    static constexpr std::uint32_t reopenPause = 1000;
    static constexpr int reopenRetries = 10;

    // `link` is the caller's link to the adapter; the sequence may destroy it
    // and put a new one in its place, or leave it null when no link could be
    // made again.
    FirmwareInstaller(const UsbDeviceInfo &device, std::unique_ptr<HDataLink> &link, bool notInstalled,
                      InstallHost &host);

    void run();

    void erase(HDataLink &link, std::uint32_t address, std::uint32_t length);
    void download(HDataLink &link, std::uint32_t address, std::uint32_t length, const std::uint8_t *bytes);
    void verify(HDataLink &link, std::uint32_t address, std::uint32_t length, const std::uint8_t *bytes);

private:
    void connectLoader(const FirmwareImage &entry);
    void reopenAndConnect();

    const UsbDeviceInfo &device_;
    std::unique_ptr<HDataLink> &link_;
    bool notInstalled_;
    InstallHost &host_;
};
