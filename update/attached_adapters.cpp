#include "update/attached_adapters.h"

#include "discovery/enumeration.h"

namespace {

constexpr int everyUsbDevice = 0;  // the interface kind of the generic USB device class
constexpr int anyProductId = -1;

}  // namespace

DeviceList attachedAdapters() { return filterDevices(enumerateDevices(everyUsbDevice), familyVendorId, anyProductId); }
