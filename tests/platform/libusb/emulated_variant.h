#pragma once

#include <string>

#include "simulation/simulated_adapter.h"
#include "tests/platform/libusb/emulation/usb_testbed.h"

// An adapter of one variant: its boot loader, with flash laid out as the
// variant's, behind an FTDI chip where the variant has one.
struct EmulatedVariant {
    explicit EmulatedVariant(std::uint16_t productId)
        : config(simulation::simulatedAdapter(productId, "VT00000" + std::to_string(productId))),
          loader(config.flashBase, config.flashSize, config.imageAddress), chip(loader),
          loaderPeer(loader), ftdiPeer(chip)
    {
    }
    bool ftdi() const
    {
        return config.ftdi;
    }
    EndpointPeer *peer() { return ftdi() ? static_cast<EndpointPeer *>(&ftdiPeer) : &loaderPeer; }

    simulation::AdapterConfig config;
    simulation::SimulatedLoader loader;
    simulation::FtdiChip chip;
    LoaderPeer loaderPeer;
    FtdiPeer ftdiPeer;
};
