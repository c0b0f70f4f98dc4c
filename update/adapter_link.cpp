#include "update/adapter_link.h"

#include <atomic>

namespace {

std::atomic<std::int32_t> timeout{adapterLinkTimeout};

}  // namespace

std::int32_t linkTimeout() { return timeout.load(); }

void setLinkTimeout(std::int32_t milliseconds) { timeout = milliseconds; }

std::unique_ptr<HDataLink> openAdapterLink(const UsbDeviceInfo &device)
{
    std::unique_ptr<HDataLink> link = device.createDataLink();
    link->setTimeout(linkTimeout());
    return link;
}
