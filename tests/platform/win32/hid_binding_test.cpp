// The HID library binding against Wine's hid.dll.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/hid_library.h"

namespace {

// Forwards to the native backend and notes each look-up.
class RecordingHidAccess : public platform::HidAccess {
public:
    platform::Handle loadLibrary(const char *name) override { return real_.loadLibrary(name); }
    void *findFunction(platform::Handle library, const char *name) override
    {
        void *function = real_.findFunction(library, name);
        lookUps.push_back({name, function != nullptr});
        return function;
    }
    void freeLibrary(platform::Handle library) override
    {
        ++freed;
        real_.freeLibrary(library);
    }
    platform::Handle openDevice(const std::string &path, bool shared) override { return real_.openDevice(path, shared); }
    bool callStringFunction(void *function, platform::Handle device, std::uint16_t *buffer,
                            std::uint32_t bytes) override
    {
        return real_.callStringFunction(function, device, buffer, bytes);
    }
    void closeDevice(platform::Handle device) override { real_.closeDevice(device); }

    struct LookUp {
        std::string name;
        bool found;
        friend bool operator==(const LookUp &, const LookUp &) = default;
    };
    std::vector<LookUp> lookUps;
    int freed = 0;

private:
    platform::HidAccess &real_ = *platform::nativeServices().usb->hid();
};

// The native backend with the recording HID library in place of its own.
class RecordingBackend : public platform::UsbBackend {
public:
    platform::DeviceEnumeration &enumeration() override { return real_->enumeration(); }
    platform::DeviceIo &io() override { return real_->io(); }
    platform::HidAccess *hid() override { return &recording; }

    RecordingHidAccess recording;

private:
    std::shared_ptr<platform::UsbBackend> real_ = platform::nativeServices().usb;
};

TEST(Win32HidBinding, BindsAllTwelveFunctionsOfTheSystemsHidLibrary)
{
    const auto backend = std::make_shared<RecordingBackend>();
    RecordingHidAccess &hid = backend->recording;
    platform::ScopedServices services({nullptr, backend});
    ASSERT_TRUE(bindHidLibrary());

    std::vector<RecordingHidAccess::LookUp> expected;
    for (const char *name : HidLibraryBinding::functionNames)
        expected.push_back({name, true});
    EXPECT_EQ(hid.lookUps, expected);
    EXPECT_EQ(hid.freed, 0);

    EXPECT_TRUE(bindHidLibrary());
    EXPECT_EQ(hid.lookUps.size(), expected.size()) << "a bound library is not looked up again";
}

}  // namespace
