#include "platform/virtual/virtual_bus.h"

namespace platform {

VirtualDevice::VirtualDevice(VirtualBus &bus, VirtualDeviceDescription description,
                             std::unique_ptr<EndpointPeer> peer)
    : bus_(bus), description_(std::move(description)), peer_(std::move(peer))
{
    // A place on the bus of its own, whatever its serial number: devices
    // with equal serial numbers are still told apart by where they are.
    if (description_.devicePath.empty())
        description_.devicePath = "virtual:1-" + std::to_string(bus_.devices().size() + 1);
}

bool VirtualDevice::present() const { return attached_ && bus_.nowMicroseconds() >= absentUntil_; }

VirtualBus::VirtualBus(Clock &clock) : clock_(clock), time_(clock) {}

std::shared_ptr<VirtualBus> VirtualBus::create(Clock &clock)
{
    return std::shared_ptr<VirtualBus>(new VirtualBus(clock));
}

Services VirtualBus::services() { return {&clock_, shared_from_this()}; }

VirtualDevice &VirtualBus::attach(VirtualDeviceDescription description, std::unique_ptr<EndpointPeer> peer)
{
    devices_.push_back(
        std::unique_ptr<VirtualDevice>(new VirtualDevice(*this, std::move(description), std::move(peer))));
    return *devices_.back();
}

void VirtualBus::detach(VirtualDevice &device)
{
    device.attached_ = false;
    ++device.generation_;
    device.inPipeOpen_ = device.outPipeOpen_ = false;
    device.replyReadyAt_ = 0;
    device.peer().unplugged();
}

void VirtualBus::reattach(VirtualDevice &device)
{
    device.attached_ = true;
    device.absentUntil_ = 0;
}

void VirtualBus::replugAfter(VirtualDevice &device, std::int64_t microseconds)
{
    detach(device);
    device.attached_ = true;
    device.absentUntil_ = nowMicroseconds() + microseconds;
}

VirtualDevice *VirtualBus::deviceAt(const std::string &devicePath)
{
    for (auto &device : devices_)
        if (device->present() && device->description().devicePath == devicePath)
            return device.get();
    return nullptr;
}

void VirtualBus::spend(std::size_t bytes)
{
    std::int64_t microseconds = timing_.transferMicroseconds;
    if (timing_.bytesPerSecond > 0)
        microseconds += static_cast<std::int64_t>(bytes) * 1'000'000 / timing_.bytesPerSecond;
    time_.pass(microseconds);
}

}  // namespace platform
