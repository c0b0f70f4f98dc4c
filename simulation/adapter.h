#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/virtual/endpoint_peer.h"
#include "platform/virtual/virtual_bus.h"
#include "simulation/ftdi_chip.h"
#include "simulation/simulated_loader.h"

namespace simulation {

// What a simulated adapter is made of.
struct AdapterConfig {
    std::uint16_t vendorId = 0x131B;
    std::uint16_t productId = 0x0010;
    std::string serialNumber = "VT0000001";
    std::string manufacturer = "Vantrel";
    std::string description = "Vantrel JTAG adapter";
    // When left empty, the bus gives it a place of its own.
    std::string devicePath;
    // Behind an FTDI bridge chip, rather than with a USB interface of its own.
    bool ftdi = false;
    std::uint32_t flashBase = 0x0;
    std::uint32_t flashSize = 0x80000;
    std::uint32_t imageAddress = 0x2000;
};

// One simulated adapter: its boot loader and flash, the FTDI chip where it
// has one, and the firmware that may run instead of the boot loader. On a
// virtual bus it answers behind its device's pipes.
class Adapter : public platform::EndpointPeer {
public:
    explicit Adapter(AdapterConfig config);

    SimulatedLoader &loader() { return loader_; }
    FtdiChip *chip() { return chip_.get(); }
    bool isFtdi() const { return chip_ != nullptr; }
    // Its device path is the one the bus gave it.
    const AdapterConfig &config() const { return config_; }
    // Its device on the bus, with the faults of its driver and its plug.
    platform::VirtualDevice &device() { return *device_; }

    // While flash holds a valid image the adapter runs it, and the firmware
    // reboots into the boot loader on a connect: it drops off the bus without
    // answering and comes back after `absentMilliseconds`, once.
    void setReenumerateOnConnect(std::uint32_t absentMilliseconds);
    int reenumerations() const { return reenumerations_; }

    // EndpointPeer
    void receive(const std::uint8_t *data, std::size_t size) override;
    std::int64_t takeWorkMicroseconds() override { return loader_.takeWorkMicroseconds(); }
    bool hasReply() const override { return loader_.available() > 0; }
    std::size_t send(std::uint8_t *out, std::size_t capacity, bool replyReady) override;
    std::int64_t idlePacketMicroseconds() const override;
    bool resetPipe() override { return chip_ != nullptr; }
    bool vendorRequest(std::uint32_t request, std::uint32_t value, std::uint32_t index) override;
    void unplugged() override;

private:
    friend Adapter &attach(platform::VirtualBus &bus, AdapterConfig config);
    void pluggedInto(platform::VirtualDevice &device);
    bool onCommand(std::uint8_t command);

    AdapterConfig config_;
    SimulatedLoader loader_;
    std::unique_ptr<FtdiChip> chip_;
    platform::VirtualDevice *device_ = nullptr;
    std::uint32_t reenumerateAbsence_ = 0;
    bool runningFirmware_ = false;
    int reenumerations_ = 0;
};

// Plugs a new adapter into the bus, which owns it.
Adapter &attach(platform::VirtualBus &bus, AdapterConfig config);

}  // namespace simulation
