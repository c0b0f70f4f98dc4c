#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/usb_device_info.h"
#include "platform/platform.h"
#include "simulation/ftdi_chip.h"
#include "simulation/simulated_loader.h"
#include "tests/support/observing_backend.h"

// The adapter's USB driver played by two named pipes below a made-up device
// path: "<path>\PIPE00" carries the boot loader's replies to the host and
// "<path>\PIPE01" the host's commands to it. A server thread feeds what the
// host writes to a simulated boot loader and writes its replies back, as they
// are or, for an FTDI adapter, in the chip's 64-byte packets with their two
// status bytes. So the links run over real overlapped Win32 pipe I/O.
//
// A pipe cannot tell when the host is waiting for data, so the chip's
// status-only packets of an idle line are never sent.
class PipeDriverStandIn {
public:
    enum class Framing { plain, ftdi };

    PipeDriverStandIn(simulation::SimulatedLoader &loader, Framing framing);
    ~PipeDriverStandIn();
    PipeDriverStandIn(const PipeDriverStandIn &) = delete;
    PipeDriverStandIn &operator=(const PipeDriverStandIn &) = delete;

    // \\.\pipe\vantrel-test-<process id>-<n>, unique within the machine.
    const std::string &devicePath() const { return devicePath_; }
    UsbDeviceInfo record() const;

    // Runs `use` on the loader (and the chip) with the server kept out.
    void withLoader(const std::function<void(simulation::SimulatedLoader &, simulation::FtdiChip &)> &use);

    // Replies are kept back until released: a device that answers late.
    void holdReplies();
    void releaseReplies();

    // Answers the driver's control codes the way the FTDI adapter's driver
    // would: the pipe reset is accepted and vendor requests go to the chip.
    bool answerControl(const ControlRequest &request);

    // Drops the host's connection: later requests on its pipes fail at once.
    void disconnectHost();

private:
    void serve();
    bool connectHost();
    void serveHost();
    bool await(HANDLE pipe, OVERLAPPED &overlapped, BOOL started, DWORD &bytes);
    bool sendToHost(const std::vector<std::uint8_t> &bytes);
    std::vector<std::uint8_t> takeReply();

    simulation::SimulatedLoader &loader_;
    simulation::FtdiChip chip_;
    Framing framing_;
    std::string devicePath_;
    HANDLE fromDevice_ = INVALID_HANDLE_VALUE;  // server end of PIPE00
    HANDLE toDevice_ = INVALID_HANDLE_VALUE;    // server end of PIPE01
    HANDLE stop_;
    HANDLE release_;

    std::mutex mutex_;  // guards the loader, the chip and what follows
    bool holding_ = false;
    std::vector<std::uint8_t> held_;

    std::thread server_;
};
