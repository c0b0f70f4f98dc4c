#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/usb_backend.h"
#include "platform/virtual/endpoint_peer.h"

namespace platform {

class VirtualBus;

// What the host reads of a device on the virtual bus.
struct VirtualDeviceDescription {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serialNumber;
    std::string manufacturer;  // empty: none
    std::string description;   // empty: none
    // When left empty, a place on the bus of its own: "virtual:1-<n>" for
    // the n-th device attached.
    std::string devicePath;
};

// Faults injected into a device's requests: each counter fails that many of
// the next requests of its kind.
struct RequestFaults {
    int readNotPending = 0;
    int readNotFetchable = 0;
    int writeNotPending = 0;
    int writeNotFetchable = 0;
    bool writesStall = false;     // writes never complete
    bool resetRefused = false;    // the pipe driver refuses the reset-pipe code
    std::uint32_t maxCompletion = 0;  // a request moves at most this much; 0: no cap
    // A slow device: a request cannot complete sooner than this many
    // milliseconds after it was issued (with maxCompletion, a trickle).
    std::uint32_t readDelay = 0;
    std::uint32_t writeDelay = 0;
    // The device stops taking data once this many more bytes have gone: the
    // rest of a write, and every write after it, never completes.
    std::optional<std::uint64_t> writeBytesUntilStall;
    // The driver fails the write that would take the device past this many
    // more bytes (its result cannot be fetched); the device stays attached.
    std::optional<std::uint64_t> writeBytesUntilFailure;
};

// A device plugged into the virtual bus, as the host's side sees it: what it
// lists as, whether it is there, what its driver does, and the peer that
// answers behind its pipes. The bus owns it.
class VirtualDevice {
public:
    VirtualDevice(const VirtualDevice &) = delete;
    VirtualDevice &operator=(const VirtualDevice &) = delete;

    const VirtualDeviceDescription &description() const { return description_; }
    EndpointPeer &peer() { return *peer_; }
    VirtualBus &bus() { return bus_; }
    bool present() const;

    // The driver reports the device busy at open (another program holds it).
    void setBusy(bool busy) { busy_ = busy; }
    // The system refuses the device to this user (no permission at open).
    void denyAccess() { accessDenied_ = true; }
    // A pipe that cannot be opened for a reason other than "busy".
    void failPipeOpen(Pipe pipe) { failingPipes_.insert(pipe); }
    RequestFaults &faults() { return faults_; }
    // Pulls the plug once this many more bytes have crossed the bus.
    void unplugAfterBytes(std::uint64_t bytes) { unplugBudget_ = bytes; }

private:
    friend class VirtualBus;
    friend class VirtualDeviceIo;
    VirtualDevice(VirtualBus &bus, VirtualDeviceDescription description, std::unique_ptr<EndpointPeer> peer);

    VirtualBus &bus_;
    VirtualDeviceDescription description_;
    std::unique_ptr<EndpointPeer> peer_;
    bool attached_ = true;
    std::int64_t absentUntil_ = 0;     // device time, in microseconds
    std::int64_t replyReadyAt_ = 0;    // device time when the peer's replies are there
    int generation_ = 0;               // pipes opened before a replug are dead
    bool inPipeOpen_ = false;
    bool outPipeOpen_ = false;
    bool busy_ = false;
    bool accessDenied_ = false;
    std::set<Pipe> failingPipes_;
    RequestFaults faults_;
    std::optional<std::uint64_t> unplugBudget_;
};

}  // namespace platform
