// libusb's hotplug notification through the seam's device watch: an
// emulated adapter that arrives after libusb started, and leaves.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "tests/platform/libusb/libusb_fixture.h"

namespace {

using namespace std::chrono_literals;

// What a watch told, for the test's thread to wait on.
class Told {
public:
    void tell()
    {
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            ++times_;
        }
        changed_.notify_all();
    }
    // Whether it has been told `times` times within two seconds.
    bool waitFor(int times)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 2s, [&] { return times_ >= times; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int times_ = 0;
};

bool listed(platform::LibusbBackend &backend, const std::string &serial)
{
    for (const platform::DeviceEntry &entry : backend.enumeration().listDevices(platform::DeviceClass::usbDevice))
        if (entry.identity && entry.identity->serialNumber == serial)
            return true;
    return false;
}

class LibusbDeviceWatch : public LibusbFixture {};

TEST_F(LibusbDeviceWatch, TellsOfAnAdapterThatArrivesAfterLibusbStartedAndOfItsLeaving)
{
    EXPECT_FALSE(listed(*backend, "VT0000042"));  // libusb starts on an empty bus
    Told told;
    std::unique_ptr<platform::DeviceWatch> watch = backend->enumeration().watchDevices([&] { told.tell(); });
    ASSERT_TRUE(watch) << "this libusb has hotplug";

    auto description = EmulatedDevice::at("1-3", 5);
    description.serial = "VT0000042";
    EmulatedDevice &adapter = testbed.add(description);
    ASSERT_TRUE(told.waitFor(1)) << "no arrival told";
    EXPECT_TRUE(listed(*backend, "VT0000042"));

    adapter.unplug();
    ASSERT_TRUE(told.waitFor(2)) << "no leaving told";
    EXPECT_FALSE(listed(*backend, "VT0000042"));
    watch.reset();  // its thread ends with it
}

}  // namespace
