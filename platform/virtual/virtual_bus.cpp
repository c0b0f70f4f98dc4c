#include "platform/virtual/virtual_bus.h"

#include <algorithm>

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

bool VirtualDevice::present() const
{
    const BusGuard guard(bus_.lock());
    return attached_ && bus_.nowMicroseconds() >= absentUntil_;
}

// A watch's place among the bus's watches, given up as it goes.
class VirtualBus::Watch : public DeviceWatch {
public:
    Watch(std::shared_ptr<VirtualBus> bus, int number) : bus_(std::move(bus)), number_(number) {}
    ~Watch() override
    {
        const BusGuard guard(bus_->lock_);
        bus_->watches_.erase(number_);
    }

private:
    std::shared_ptr<VirtualBus> bus_;
    int number_;
};

VirtualBus::VirtualBus(Clock &clock) : clock_(clock), time_(clock) {}

std::shared_ptr<VirtualBus> VirtualBus::create(Clock &clock)
{
    return std::shared_ptr<VirtualBus>(new VirtualBus(clock));
}

Services VirtualBus::services() { return {&clock_, shared_from_this()}; }

VirtualDevice &VirtualBus::attach(VirtualDeviceDescription description, std::unique_ptr<EndpointPeer> peer)
{
    const BusGuard guard(lock_);
    devices_.push_back(
        std::unique_ptr<VirtualDevice>(new VirtualDevice(*this, std::move(description), std::move(peer))));
    tellWatches();
    return *devices_.back();
}

void VirtualBus::detach(VirtualDevice &device)
{
    const BusGuard guard(lock_);
    device.attached_ = false;
    ++device.generation_;
    device.inPipeOpen_ = device.outPipeOpen_ = false;
    device.replyReadyAt_ = 0;
    device.peer().unplugged();
    tellWatches();
}

void VirtualBus::reattach(VirtualDevice &device)
{
    const BusGuard guard(lock_);
    device.attached_ = true;
    device.absentUntil_ = 0;
    tellWatches();
}

void VirtualBus::replugAfter(VirtualDevice &device, std::int64_t microseconds)
{
    const BusGuard guard(lock_);
    detach(device);
    device.attached_ = true;
    device.absentUntil_ = nowMicroseconds() + microseconds;
}

VirtualDevice *VirtualBus::deviceAt(const std::string &devicePath)
{
    const BusGuard guard(lock_);
    for (auto &device : devices_)
        if (device->present() && device->description().devicePath == devicePath)
            return device.get();
    return nullptr;
}

std::unique_ptr<DeviceWatch> VirtualBus::watch(std::function<void()> changed)
{
    const BusGuard guard(lock_);
    const int number = nextWatch_++;
    watches_.emplace(number, std::move(changed));
    return std::make_unique<Watch>(shared_from_this(), number);
}

void VirtualBus::tellWatches()
{
    for (const auto &[number, changed] : watches_)
        changed();
}

std::int64_t VirtualBus::nowMicroseconds()
{
    const BusGuard guard(lock_);
    return time_.nowMicroseconds();
}

void VirtualBus::pass(std::int64_t microseconds)
{
    // Other threads' devices go on while this one's time goes by.
    const BusLockGivenUp givenUp(lock_);
    time_.pass(microseconds);
}

void VirtualBus::setTiming(const BusTiming &timing)
{
    const BusGuard guard(lock_);
    timing_ = timing;
}

bool VirtualBus::sharedByDevices() const
{
    const auto inUse = [](const std::unique_ptr<VirtualDevice> &device) {
        return device->inPipeOpen_ || device->outPipeOpen_;
    };
    const auto first = std::find_if(devices_.begin(), devices_.end(), inUse);
    return first != devices_.end() && std::find_if(first + 1, devices_.end(), inUse) != devices_.end();
}

void VirtualBus::spend(std::size_t bytes)
{
    std::int64_t microseconds;
    {
        const BusGuard guard(lock_);
        const auto wireTime = [bytes](std::int64_t bytesPerSecond) {
            return bytesPerSecond > 0 ? static_cast<std::int64_t>(bytes) * 1'000'000 / bytesPerSecond : 0;
        };
        microseconds = timing_.transferMicroseconds + wireTime(timing_.bytesPerSecond);
        // The bytes go over the bus once the transfers before them are
        // through. (Alone on the bus a device keeps its own pace, and the
        // clock is not read for nothing.)
        if (timing_.sharedBytesPerSecond > 0 && sharedByDevices()) {
            const std::int64_t now = time_.nowMicroseconds();
            busFreeAt_ = std::max(busFreeAt_, now) + wireTime(timing_.sharedBytesPerSecond);
            microseconds = std::max(microseconds, busFreeAt_ - now + timing_.transferMicroseconds);
        }
    }
    pass(microseconds);
}

Handle VirtualBus::issueHandle()
{
    const BusGuard guard(lock_);
    return nextHandle_++;
}

}  // namespace platform
