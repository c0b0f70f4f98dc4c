#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/platform/libusb/emulation/emulated_device.h"

// A umockdev testbed: while it exists, this process sees its sysfs and
// device nodes in place of the real ones (the test runs with umockdev's
// preload). It must exist, with its devices, before libusb starts.
class UsbTestbed {
public:
    UsbTestbed();
    ~UsbTestbed();
    UsbTestbed(const UsbTestbed &) = delete;
    UsbTestbed &operator=(const UsbTestbed &) = delete;

    EmulatedDevice &add(const EmulatedDevice::Description &description);
    const std::string &root() const { return root_; }

private:
    UMockdevTestbed *testbed_;
    std::string root_;
    std::vector<std::unique_ptr<EmulatedDevice>> devices_;
};

// Drops the calling thread's power to pass file modes for the object's
// lifetime, so that a test running as root meets a permission check.
class WithoutFileModeOverride {
public:
    WithoutFileModeOverride();
    ~WithoutFileModeOverride();
    WithoutFileModeOverride(const WithoutFileModeOverride &) = delete;
    WithoutFileModeOverride &operator=(const WithoutFileModeOverride &) = delete;

private:
    unsigned int savedEffective_[2];
};
