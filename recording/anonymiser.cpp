#include "recording/anonymiser.h"

#include <algorithm>

namespace recording {

namespace {

// How much of `serial` decides its order against `boundary`: up to and with
// the first byte where they differ, or all of the shorter when one begins
// the other.
std::size_t decidingLength(const std::string &serial, const std::string &boundary)
{
    const auto [differs, unused] = std::mismatch(serial.begin(), serial.end(), boundary.begin(), boundary.end());
    return std::min(static_cast<std::size_t>(differs - serial.begin()) + 1, serial.size());
}

bool begins(const std::string &boundary, const std::string &serial)
{
    return serial.size() < boundary.size() && boundary.compare(0, serial.size(), serial) == 0;
}

}  // namespace

Anonymiser::Anonymiser(std::vector<std::string> serialBoundaries) : boundaries_(std::move(serialBoundaries)) {}

std::string Anonymiser::serial(const std::string &serialNumber)
{
    if (serialNumber.empty())
        return serialNumber;
    if (const auto known = serials_.find(serialNumber); known != serials_.end())
        return known->second;
    const std::string name = "serial-" + std::to_string(serials_.size() + 1);
    const auto keepsOrder = [&](const std::string &candidate) {
        return std::all_of(boundaries_.begin(), boundaries_.end(), [&](const std::string &boundary) {
            return (candidate >= boundary) == (serialNumber >= boundary);
        });
    };
    // The plain name where it sorts alike, else a boundary it is above with
    // the name after it; else as much of the serial number as decides its
    // order, which is always alike.
    std::vector<std::string> candidates = {name};
    for (const std::string &boundary : boundaries_)
        candidates.push_back(boundary + name);
    std::size_t kept = 0;
    bool beginsABoundary = false;
    for (const std::string &boundary : boundaries_) {
        beginsABoundary = beginsABoundary || begins(boundary, serialNumber);
        kept = std::max(kept, decidingLength(serialNumber, boundary));
    }
    // A serial number that begins a boundary is below it, and any text after
    // it could change that: it stays as it is, saying no more than the
    // boundary, which is no secret.
    candidates.push_back(beginsABoundary ? serialNumber : serialNumber.substr(0, kept) + name);
    const std::string placeholder = *std::find_if(candidates.begin(), candidates.end(), keepsOrder);
    serials_.emplace(serialNumber, placeholder);
    return placeholder;
}

std::string Anonymiser::devicePath(const std::string &path)
{
    if (path.empty())
        return path;
    if (const auto known = paths_.find(path); known != paths_.end())
        return known->second;
    std::string placeholder = "device-" + std::to_string(paths_.size() + 1);
    if (placeholder.size() < path.size())
        placeholder.resize(path.size(), '_');
    paths_.emplace(path, placeholder);
    return placeholder;
}

std::string Anonymiser::instanceId(const std::string &instanceId)
{
    // USB\VID_131B&PID_0010\SERIAL: the third segment, unless the system made
    // it up for a device without a serial number (it then has '&' second).
    const std::size_t first = instanceId.find('\\');
    if (first == std::string::npos)
        return instanceId;
    const std::size_t start = instanceId.find('\\', first + 1);
    if (start == std::string::npos)
        return instanceId;
    const std::size_t end = std::min(instanceId.find('\\', start + 1), instanceId.size());
    const std::string segment = instanceId.substr(start + 1, end - start - 1);
    if (segment.size() >= 2 && segment[1] == '&')
        return instanceId;
    return instanceId.substr(0, start + 1) + serial(segment) + instanceId.substr(end);
}

platform::DeviceEntry Anonymiser::entry(platform::DeviceEntry entry)
{
    entry.devicePath = devicePath(entry.devicePath);
    if (entry.identity)
        entry.identity->serialNumber = serial(entry.identity->serialNumber);
    entry.instanceId = instanceId(entry.instanceId);
    return entry;
}

std::string Anonymiser::commandWord(const std::string &word) const
{
    const auto known = serials_.find(word);
    return known == serials_.end() ? word : known->second;
}

}  // namespace recording
