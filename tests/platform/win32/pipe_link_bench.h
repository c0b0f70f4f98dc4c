#pragma once

#include <memory>

#include "datalink/data_link.h"
#include "platform/platform.h"
#include "simulation/simulated_loader.h"
#include "tests/platform/win32/pipe_driver_stand_in.h"
#include "tests/support/observing_backend.h"
#include "update/variant.h"

// A link of either family over the native backend, reaching a simulated boot
// loader through the named-pipe stand-in for the adapter's driver. The
// backend is wrapped so that a test can inject what Wine cannot produce and
// count what is left open; for the FTDI family the stand-in answers the
// driver's control codes, which a plain pipe refuses.
class PipeLinkBench {
public:
    static constexpr std::uint32_t flashBase = 0x10000;
    static constexpr std::uint32_t flashSize = 0x20000;

    explicit PipeLinkBench(LinkFamily family);

    // The link the device record's factory would make for this family.
    std::unique_ptr<HDataLink> openLink();

    const LinkFamily family;
    const std::shared_ptr<ObservingBackend> backend;
    ObservingBackend &io;
    simulation::SimulatedLoader loader{flashBase, flashSize, flashBase};
    PipeDriverStandIn standIn;

private:
    platform::ScopedServices services_;
};
