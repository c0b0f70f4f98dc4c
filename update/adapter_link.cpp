#include "update/adapter_link.h"

std::unique_ptr<HDataLink> openAdapterLink(const UsbDeviceInfo &device)
{
    std::unique_ptr<HDataLink> link = device.createDataLink();
    link->setTimeout(adapterLinkTimeout);
    return link;
}
