#include "tests/platform/libusb/emulation/usb_testbed.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <umockdev.h>
#include <unistd.h>

#include <stdexcept>

UsbTestbed::UsbTestbed() : testbed_(umockdev_testbed_new())
{
    gchar *root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root;
    g_free(root);
}

UsbTestbed::~UsbTestbed()
{
    devices_.clear();
    // Removes the testbed's folder too.
    g_object_unref(testbed_);
}

EmulatedDevice &UsbTestbed::add(const EmulatedDevice::Description &description)
{
    devices_.push_back(std::make_unique<EmulatedDevice>(testbed_, root_, description));
    return *devices_.back();
}

namespace {

__user_cap_header_struct capabilityHeader() { return {_LINUX_CAPABILITY_VERSION_3, 0}; }

}  // namespace

// Capabilities belong to the thread, so libusb's open on this thread meets
// the file mode while other threads keep theirs.
WithoutFileModeOverride::WithoutFileModeOverride()
{
    __user_cap_header_struct header = capabilityHeader();
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        throw std::runtime_error("cannot read the thread's capabilities");
    savedEffective_[0] = data[0].effective;
    savedEffective_[1] = data[1].effective;
    data[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
    if (syscall(SYS_capset, &header, data) != 0)
        throw std::runtime_error("cannot drop the file mode override");
}

WithoutFileModeOverride::~WithoutFileModeOverride()
{
    __user_cap_header_struct header = capabilityHeader();
    __user_cap_data_struct data[2] = {};
    syscall(SYS_capget, &header, data);
    data[0].effective = savedEffective_[0];
    data[1].effective = savedEffective_[1];
    syscall(SYS_capset, &header, data);
}
