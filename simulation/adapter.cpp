#include "simulation/adapter.h"

#include <algorithm>

#include "loader/commands.h"

namespace simulation {

Adapter::Adapter(AdapterConfig config)
    : config_(std::move(config)), loader_(config_.flashBase, config_.flashSize, config_.imageAddress)
{
    if (config_.ftdi)
        chip_ = std::make_unique<FtdiChip>(loader_);
}

void Adapter::pluggedInto(platform::VirtualDevice &device)
{
    device_ = &device;
    config_.devicePath = device.description().devicePath;
    loader_.setCommandObserver([this](std::uint8_t command) { return onCommand(command); });
    loader_.setTimeSource([this] { return device_->bus().nowMicroseconds(); });
}

void Adapter::setReenumerateOnConnect(std::uint32_t absentMilliseconds)
{
    reenumerateAbsence_ = absentMilliseconds;
    runningFirmware_ = true;
}

bool Adapter::onCommand(std::uint8_t command)
{
    if (command != loader::connectCommand || !runningFirmware_ || !loader_.hasValidImage())
        return true;
    // The firmware hands over to the boot loader: the adapter leaves the bus
    // without answering and comes back as the loader, with the same serial number.
    runningFirmware_ = false;
    ++reenumerations_;
    device_->bus().replugAfter(*device_, std::int64_t{reenumerateAbsence_} * 1000);
    return false;
}

void Adapter::receive(const std::uint8_t *data, std::size_t size)
{
    if (chip_)
        chip_->write(data, size);
    else
        loader_.receive(data, size);
}

std::size_t Adapter::send(std::uint8_t *out, std::size_t capacity, bool replyReady)
{
    if (!chip_)
        return loader_.take(out, capacity);
    return replyReady ? chip_->readPackets(out, capacity) : chip_->statusPacket(out, capacity);
}

std::int64_t Adapter::idlePacketMicroseconds() const
{
    // The chip sends its status every latency-timer period.
    return chip_ ? std::int64_t{std::max(chip_->latencyTimer(), 1)} * 1000 : 0;
}

bool Adapter::vendorRequest(std::uint32_t request, std::uint32_t value, std::uint32_t index)
{
    return chip_ && chip_->vendorRequest(static_cast<int>(request), static_cast<int>(value), static_cast<int>(index));
}

void Adapter::unplugged()
{
    loader_.discardOutput();
    loader_.discardInput();
}

Adapter &attach(platform::VirtualBus &bus, AdapterConfig config)
{
    platform::VirtualDeviceDescription description;
    description.vendorId = config.vendorId;
    description.productId = config.productId;
    description.serialNumber = config.serialNumber;
    description.manufacturer = config.manufacturer;
    description.description = config.description;
    description.devicePath = config.devicePath;
    auto adapter = std::make_unique<Adapter>(std::move(config));
    Adapter &attached = *adapter;
    attached.pluggedInto(bus.attach(std::move(description), std::move(adapter)));
    return attached;
}

}  // namespace simulation
