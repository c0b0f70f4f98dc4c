#pragma once

#include <cstdint>
#include <vector>

#include "datalink/data_link.h"
#include "platform/virtual/device_time.h"
#include "simulation/simulated_loader.h"

namespace simulation {

// A data link wired straight to a simulated boot loader, with no transport in
// between: the loader protocol's own test bench. It records what the host
// does, in order, and a read that lacks bytes takes the link's time-out on the
// clock installed when the link is made, and returns what it has.
class SimulatedLoaderLink : public HDataLink {
public:
    enum class Event { purge, write, read };
    struct Record {
        Event event;
        std::vector<std::uint8_t> bytes;
    };

    explicit SimulatedLoaderLink(SimulatedLoader &loader) : loader_(loader) {}

    std::int32_t read(std::uint8_t *buffer, std::int32_t count) override;
    std::int32_t write(const std::uint8_t *buffer, std::int32_t count) override;
    void purge() override;

    // A write accepts at most this many bytes (a stalled link); -1: all.
    void setWriteLimit(std::int32_t limit) { writeLimit_ = limit; }

    const std::vector<Record> &records() const { return records_; }
    std::vector<std::vector<std::uint8_t>> writes() const;
    int purgeCount() const;

private:
    SimulatedLoader &loader_;
    platform::DeviceTime time_{platform::clock()};
    std::int32_t writeLimit_ = -1;
    std::vector<Record> records_;
};

}  // namespace simulation
