#pragma once

#include <cstdint>
#include <memory>

#include "datalink/data_link.h"
#include "discovery/usb_device_info.h"
#include "update/install_task.h"

struct FirmwareImage;

// What the install sequence drives besides the adapter: the progress display,
// the install control and the device poll of whoever started it (the window's
// panel or the command-line tool).
class InstallHost {
public:
    virtual ~InstallHost() = default;
    // A task that goes over the flash piece by piece (compare, erase,
    // download, verify) begins; it will move `bytes`.
    virtual void taskStarted(InstallTask task, int bytes) = 0;
    // How many of the task's bytes are done; all of them ends the task.
    virtual void taskProgress(int bytesDone) = 0;
    virtual void setInstallEnabled(bool enabled) = 0;
    virtual void setPollingEnabled(bool enabled) = 0;
    // Asks the poll to rebuild the panel so that it reads the new version.
    virtual void invalidatePanel() = 0;

    // What the window does not need; the command-line tool listens.
    //
    // A task that ends before its last piece (a failure, or a stop the host
    // asked for) first tells how many bytes it really did, and then reports
    // itself complete, which is what clears the window's bar.
    virtual void taskEndedEarly(int /*bytesDone*/) {}
    // Asked at every piece boundary and between re-open attempts: true ends
    // the sequence there with InstallInterrupted.
    virtual bool stopRequested() { return false; }
};

// Thrown when the host asked the sequence to stop. Deliberately not an
// HException: it is no device failure, and only a host that asks for a stop
// can meet it. The loader command under way has finished; the adapter's
// flash is left as far as the sequence got.
struct InstallInterrupted {};

// What comparing the adapter's flash with the carried image found, in the
// verify task's pieces.
struct FlashComparison {
    std::uint32_t pieces = 0;
    std::uint32_t differing = 0;
    std::uint32_t firstDiffering = 0;  // a piece index; meaningful when differing > 0

    bool identical() const { return differing == 0; }
};

// Which passes a run makes over the flash.
enum class InstallPass {
    install,          // erase, download, verify: the window's install
    compareOnly,      // compare, no erase and no write
    installIfNeeded,  // compare, then install only when the flash differs
};

struct InstallReport {
    bool compared = false;
    FlashComparison comparison;  // when compared
    bool written = false;        // erased and written (and verified, since run() returned)
};

// The install sequence for one adapter: connect (re-opening the link when
// the variant reboots into its boot loader), erase, download, verify,
// disconnect. Failures leave as HException after the host is restored; the
// task they ended is task(). Failures that leave a task (erase, download,
// verify) carry its prefix, and a reply that never came within one is that
// task's failure. A variant that reboots into its boot loader and is not
// found again fails as notBack.
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
    // The same sequence with the passes asked for; a comparison runs after
    // the connect, in the verify task's pieces, and counts every differing
    // piece rather than stopping at the first.
    InstallReport run(InstallPass pass);

    void erase(HDataLink &link, std::uint32_t address, std::uint32_t length);
    void download(HDataLink &link, std::uint32_t address, std::uint32_t length, const std::uint8_t *bytes);
    void verify(HDataLink &link, std::uint32_t address, std::uint32_t length, const std::uint8_t *bytes);
    FlashComparison compare(HDataLink &link, std::uint32_t address, std::uint32_t length,
                            const std::uint8_t *bytes);

    // The task under way, or the last one run: where a failure happened.
    InstallTask task() const { return task_; }

private:
    void connectLoader(const FirmwareImage &entry);
    void reopenAndConnect();
    void restoreHost();

    const UsbDeviceInfo &device_;
    std::unique_ptr<HDataLink> &link_;
    bool notInstalled_;
    InstallHost &host_;
    InstallTask task_ = InstallTask::connect;
};
