#pragma once

#include <cstdint>
#include <memory>

#include "datalink/data_link.h"
#include "discovery/usb_device_info.h"

// The time-out every user of an adapter's link sets before its first loader
// command: long enough for the slowest one, an erase of a whole piece.
inline constexpr std::int32_t adapterLinkTimeout = 60000;  // milliseconds

// A new link to the adapter with the process's link time-out; opening it
// may throw HException.
std::unique_ptr<HDataLink> openAdapterLink(const UsbDeviceInfo &device);

// The process's link time-out: adapterLinkTimeout unless set. A station may
// give up on a dead adapter sooner (vantrel-flash --timeout).
std::int32_t linkTimeout();
void setLinkTimeout(std::int32_t milliseconds);
