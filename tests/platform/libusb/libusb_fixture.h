#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/libusb/libusb_backend.h"
#include "platform/platform.h"
#include "tests/platform/libusb/emulation/usb_testbed.h"

// A boot loader with its FTDI chip, for an emulated adapter to answer with.
// A fixture derives from it first, so that it outlives the testbed and the
// backend: nothing then answers from a loader that is gone.
struct LoaderParts {
    simulation::SimulatedLoader loader{0x0, 0x10000, 0x6000};
    simulation::FtdiChip chip{loader};
    LoaderPeer loaderPeer{loader};
    FtdiPeer ftdiPeer{chip};
};

// The libusb backend installed over a fresh testbed. libusb starts on the
// first enumeration or open, so a test adds its devices first.
class LibusbFixture : public testing::Test {
protected:
    UsbTestbed testbed;
    std::shared_ptr<platform::LibusbBackend> backend = std::make_shared<platform::LibusbBackend>();
    platform::LibusbDeviceIo &io = backend->io();

private:
    platform::ScopedServices services_{{nullptr, backend}};
};
