#pragma once

#include "demo/demo_options.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_bus.h"
#include "simulation/adapter.h"

// The demo's adapter on a virtual bus that runs on the real clock, with
// transfers and flash work that take as long as on a real adapter.
class DemoAdapter {
public:
    // Throws DemoUsageError for a fault that this adapter cannot show.
    explicit DemoAdapter(const DemoOptions &options);

    // The bus's device services, on the native clock.
    platform::Services services() { return bus_->services(); }
    void plugIn() { bus_->reattach(adapter_->device()); }
    void unplug() { bus_->detach(adapter_->device()); }

private:
    std::shared_ptr<platform::VirtualBus> bus_;
    simulation::Adapter *adapter_ = nullptr;
};
