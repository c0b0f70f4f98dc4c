#include "demo/demo_adapter.h"

#include "simulation/simulated_adapter.h"

DemoAdapter::DemoAdapter(const DemoOptions &options)
    : bus_(platform::VirtualBus::create(*platform::nativeServices().clock))
{
    try {
        adapter_ = &simulation::attachSimulatedAdapter(*bus_, options.adapter);
    } catch (const simulation::SimulationError &e) {
        throw DemoUsageError{e.message};
    }
    if (options.attachAfter > 0)
        unplug();
}
