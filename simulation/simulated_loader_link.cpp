#include "simulation/simulated_loader_link.h"

#include <algorithm>

namespace simulation {

std::int32_t SimulatedLoaderLink::read(std::uint8_t *buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    time_.pass(loader_.takeWorkMicroseconds());
    const auto got = static_cast<std::int32_t>(loader_.take(buffer, static_cast<std::size_t>(count)));
    if (got < count)
        time_.pass(std::int64_t{firstTimeout()} * 1000);
    records_.push_back({Event::read, std::vector<std::uint8_t>(buffer, buffer + got)});
    return got;
}

std::int32_t SimulatedLoaderLink::write(const std::uint8_t *buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    const std::int32_t accepted = writeLimit_ < 0 ? count : std::min(count, writeLimit_);
    records_.push_back({Event::write, std::vector<std::uint8_t>(buffer, buffer + accepted)});
    loader_.receive(buffer, static_cast<std::size_t>(accepted));
    if (accepted < count)
        time_.pass(std::int64_t{firstTimeout()} * 1000);
    return accepted;
}

void SimulatedLoaderLink::purge()
{
    records_.push_back({Event::purge, {}});
    loader_.discardOutput();
}

std::vector<std::vector<std::uint8_t>> SimulatedLoaderLink::writes() const
{
    std::vector<std::vector<std::uint8_t>> result;
    for (const Record &record : records_)
        if (record.event == Event::write)
            result.push_back(record.bytes);
    return result;
}

int SimulatedLoaderLink::purgeCount() const
{
    return static_cast<int>(std::count_if(records_.begin(), records_.end(),
                                          [](const Record &r) { return r.event == Event::purge; }));
}

}  // namespace simulation
