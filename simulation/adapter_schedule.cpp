#include "simulation/adapter_schedule.h"

#include <algorithm>

#include "platform/doorbell.h"
#include "platform/stop_signals.h"
#include "platform/virtual/device_time.h"
#include "platform/virtual/virtual_bus.h"
#include "simulation/adapter.h"

namespace simulation {

std::int64_t AdapterSchedule::elapsedMicroseconds()
{
    const std::int64_t now = platform::microsecondsNow(time_);
    const std::lock_guard<std::mutex> guard(mutex_);
    if (startMicroseconds_ < 0)
        startMicroseconds_ = now;
    return now - startMicroseconds_;
}

void AdapterSchedule::add(Event event)
{
    elapsedMicroseconds();  // the schedule's times count from its first event at the latest
    const std::lock_guard<std::mutex> guard(mutex_);
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

bool AdapterSchedule::eventsToCome() const
{
    const std::lock_guard<std::mutex> guard(mutex_);
    return !events_.empty();
}

std::optional<std::int64_t> AdapterSchedule::nextDue() const
{
    const std::lock_guard<std::mutex> guard(mutex_);
    if (events_.empty())
        return std::nullopt;
    return std::min_element(events_.begin(), events_.end(), [](const Event &a, const Event &b) {
               return a.dueMicroseconds < b.dueMicroseconds;
           })->dueMicroseconds;
}

void AdapterSchedule::carryOutDueEvents()
{
    // The bus reads the time while it attaches and detaches: no events
    // within events.
    thread_local bool carryingOut = false;
    if (carryingOut)
        return;
    std::vector<Event> due;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (events_.empty())
            return;
    }
    carryingOut = true;
    const std::int64_t now = elapsedMicroseconds();
    {
        // In the order they fall due, so that a leave and a later arrival of
        // the same adapter both happen. Taken from the list first: the bus
        // is not touched under the schedule's lock, since the bus reads this
        // clock under its own.
        const std::lock_guard<std::mutex> guard(mutex_);
        std::stable_sort(events_.begin(), events_.end(),
                         [](const Event &a, const Event &b) { return a.dueMicroseconds < b.dueMicroseconds; });
        const auto end = std::find_if(events_.begin(), events_.end(),
                                      [now](const Event &event) { return event.dueMicroseconds > now; });
        due.assign(events_.begin(), end);
        events_.erase(events_.begin(), end);
    }
    for (const Event &event : due) {
        if (event.arrives)
            event.device->bus().reattach(*event.device);
        else
            event.device->bus().detach(*event.device);
    }
    carryingOut = false;
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

void AdapterSchedule::waitForRing(platform::Doorbell &bell, std::uint32_t milliseconds)
{
    // In pieces that end where an event falls due, so that a bus watch
    // rings the bell at the moment an adapter comes or goes.
    const std::int64_t end = elapsedMicroseconds() + std::int64_t{milliseconds} * 1000;
    for (;;) {
        carryOutDueEvents();
        const std::int64_t now = elapsedMicroseconds();
        if (bell.rung() || now >= end || platform::stopRequest() != 0)
            return;
        const std::int64_t until = std::min(end, nextDue().value_or(end));
        // Whole milliseconds, at least one: an event is at most a
        // millisecond late.
        time_.waitForRing(bell, static_cast<std::uint32_t>(std::max<std::int64_t>((until - now + 999) / 1000, 1)));
        if (bell.rung()) {
            carryOutDueEvents();
            return;
        }
    }
}

}  // namespace simulation
