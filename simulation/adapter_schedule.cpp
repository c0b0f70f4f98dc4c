#include "simulation/adapter_schedule.h"

#include <algorithm>

#include "platform/virtual/device_time.h"
#include "platform/virtual/virtual_bus.h"
#include "simulation/adapter.h"

namespace simulation {

std::int64_t AdapterSchedule::elapsedMicroseconds()
{
    const std::int64_t now = platform::microsecondsNow(time_);
    if (startMicroseconds_ < 0)
        startMicroseconds_ = now;
    return now - startMicroseconds_;
}

void AdapterSchedule::add(Event event)
{
    elapsedMicroseconds();  // the schedule's times count from its first event at the latest
    events_.push_back(event);
}

void AdapterSchedule::arriveAt(Adapter &adapter, std::uint32_t milliseconds)
{
    adapter.device().bus().detach(adapter.device());
    add({std::int64_t{milliseconds} * 1000, &adapter.device(), true});
}

void AdapterSchedule::leaveAt(Adapter &adapter, std::uint32_t milliseconds)
{
    add({std::int64_t{milliseconds} * 1000, &adapter.device(), false});
}

void AdapterSchedule::carryOutDueEvents()
{
    // The bus reads the time while it attaches and detaches: no events
    // within events.
    if (events_.empty() || carryingOut_)
        return;
    carryingOut_ = true;
    const std::int64_t now = elapsedMicroseconds();
    // In the order they fall due, so that a leave and a later arrival of the
    // same adapter both happen.
    std::stable_sort(events_.begin(), events_.end(),
                     [](const Event &a, const Event &b) { return a.dueMicroseconds < b.dueMicroseconds; });
    auto due = events_.begin();
    for (; due != events_.end() && due->dueMicroseconds <= now; ++due) {
        if (due->arrives)
            due->device->bus().reattach(*due->device);
        else
            due->device->bus().detach(*due->device);
    }
    events_.erase(events_.begin(), due);
    carryingOut_ = false;
}

std::uint32_t AdapterSchedule::tickCount()
{
    carryOutDueEvents();
    return time_.tickCount();
}

std::int64_t AdapterSchedule::counterValue()
{
    carryOutDueEvents();
    return time_.counterValue();
}

void AdapterSchedule::sleep(std::uint32_t milliseconds)
{
    time_.sleep(milliseconds);
    carryOutDueEvents();
}

}  // namespace simulation
