#include "update/adapter_reading.h"

#include "loader/loader_info.h"
#include "update/adapter_link.h"
#include "update/firmware_image.h"

std::optional<std::string> readInstalledVersion(const UsbDeviceInfo &device)
{
    std::unique_ptr<HDataLink> link = openAdapterLink(device);
    LoaderInfo info;
    link->getLoaderInfo(info);
    return installedVersion(info);
}

AdapterView viewOf(const UsbDeviceInfo &device)
{
    AdapterView view;
    view.device = device;
    view.entry = device.firmwareImage();
    if (!view.entry)
        return view;
    try {
        view.installed = readInstalledVersion(device);
    } catch (const HException &e) {
        view.failure = failureOf(e);
    }
    return view;
}

std::vector<AdapterView> viewsOf(const DeviceList &devices)
{
    std::vector<AdapterView> views;
    for (const UsbDeviceInfo &device : devices)
        views.push_back(viewOf(device));
    return views;
}
