#include "cli/concurrent_work.h"

#include "cli/stop_signal.h"
#include "platform/device_call.h"
#include "platform/platform.h"
#include "platform/request_wait.h"

ConcurrentWork::ConcurrentWork(Report &report, Work work, bool passOverUnsupported, platform::Doorbell &bell)
    : report_(report), work_(work), passOverUnsupported_(passOverUnsupported), bell_(bell)
{
}

ConcurrentWork::~ConcurrentWork()
{
    for (auto &[lane, thread] : threads_)
        thread.join();
    if (unreported_ > 0)
        setStopState(StopState::idle);
}

unsigned ConcurrentWork::start(DeviceList adapters)
{
    const unsigned lane = ++lastLane_;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        ++running_;
    }
    // A stop says what it stops: work under way until its result is taken.
    unreported_ += adapters.size();
    setStopState(unreported_ > 1 ? StopState::workingOnSeveral : StopState::working);
    // Counted on the clock before it starts, so that no time goes by
    // without it.
    platform::SharedTimeThread seat(platform::clock());
    threads_.emplace(lane, std::thread([this, lane, adapters = std::move(adapters), seat = std::move(seat)]() mutable {
        seat.enter();
        run(lane, adapters);
        seat.leave();
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            finished_.push_back(lane);
            --running_;
        }
        bell_.ring();
    }));
    return lane;
}

void ConcurrentWork::run(unsigned lane, const DeviceList &adapters)
{
    const platform::ScopedCallLane callLane(lane);
    for (const UsbDeviceInfo &device : adapters) {
        const std::unique_ptr<Report::Slot> slot = report_.slotFor(lane, device);
        AdapterResult result;
        {
            const platform::ScopedWaitObserver watching(slot.get());
            result = workOn(device, work_, passOverUnsupported_, *slot);
        }
        slot->ended(result);
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            ended_.push_back({lane, std::move(result)});
        }
        bell_.ring();
    }
}

std::vector<ConcurrentWork::Ended> ConcurrentWork::takeEnded()
{
    std::vector<Ended> ended;
    std::vector<unsigned> finished;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        ended.swap(ended_);
        finished.swap(finished_);
    }
    // Done with the clock and their work: joined at once.
    for (const unsigned lane : finished) {
        threads_.at(lane).join();
        threads_.erase(lane);
    }
    unreported_ -= ended.size();
    if (!ended.empty())
        setStopState(unreported_ == 0   ? StopState::idle
                     : unreported_ == 1 ? StopState::working
                                        : StopState::workingOnSeveral);
    return ended;
}

std::size_t ConcurrentWork::underWay() const
{
    const std::lock_guard<std::mutex> guard(mutex_);
    return running_;
}
