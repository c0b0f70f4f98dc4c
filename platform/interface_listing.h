#pragma once

// The listing of a system that hands out the present interfaces of a class
// one member index at a time, each with its device path, instance identifier
// and two registry properties (Windows' device setup service). The rules of
// that walk are pure code, so that they are tested on every platform; the
// backend supplies the calls.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/usb_backend.h"

namespace platform {

enum class EnumOutcome { found, noMoreItems, failed };
enum class RegistryProperty { manufacturer, description };

// The open set of one class's present interfaces.
class InterfaceSet {
public:
    virtual ~InterfaceSet() = default;
    virtual EnumOutcome enumInterface(std::uint32_t index) = 0;
    // Of the interface found last: its device path, or nothing when its
    // detail cannot be fetched; then its identifier and properties, which
    // need that detail.
    virtual std::optional<std::string> interfacePath() = 0;
    virtual std::optional<std::string> instanceId() = 0;
    virtual std::optional<std::string> registryProperty(RegistryProperty property) = 0;
};

// The service is asked for at most this many interfaces of one class.
inline constexpr std::uint32_t maxListedInterfaces = 127;

// The entries of every interface of the set whose detail can be fetched, in
// index order, up to the first "no more items" or maxListedInterfaces; an
// index that fails otherwise is skipped. Entries carry the instance
// identifier (empty when unreadable) for the record layer to parse.
std::vector<DeviceEntry> listInterfaceSet(InterfaceSet &set);

}  // namespace platform
