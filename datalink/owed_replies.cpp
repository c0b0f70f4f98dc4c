#include "datalink/owed_replies.h"

#include <map>
#include <mutex>

#include "datalink/pipe_set.h"

namespace {

std::mutex mutex;
std::map<OwingDevice, bool> owedByDevice;

// A backend that has gone takes what its devices owed with it.
void forgetGoneBackends()
{
    std::erase_if(owedByDevice, [](const auto &entry) { return entry.first.backend.expired(); });
}

}  // namespace

bool OwingDevice::operator<(const OwingDevice &other) const
{
    if (backend.owner_before(other.backend))
        return true;
    if (other.backend.owner_before(backend))
        return false;
    return devicePath < other.devicePath;
}

OwingDevice owingDevice(const UsbDeviceInfo &device) { return {linkBackend(device), device.devicePath}; }

void noteOwedReplies(const OwingDevice &device, bool owed)
{
    const std::lock_guard<std::mutex> guard(mutex);
    forgetGoneBackends();
    owedByDevice[device] = owed;
}

void forgetOwedReplies(const OwingDevice &device) { noteOwedReplies(device, false); }

std::optional<bool> takeOwedReplies(const OwingDevice &device)
{
    const std::lock_guard<std::mutex> guard(mutex);
    const auto known = owedByDevice.find(device);
    if (known == owedByDevice.end())
        return std::nullopt;
    const bool owed = known->second;
    owedByDevice.erase(known);
    return owed;
}
