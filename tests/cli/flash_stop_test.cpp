// A stop asked for while vantrel-flash waits on an adapter: each run in a
// process of its own, since a stop once asked for stays.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "cli/output.h"
#include "cli/report.h"
#include "cli/stop_signal.h"
#include "update/adapter_work.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_bus.h"
#include "simulation/simulated_adapter.h"
#include "update/attached_adapters.h"

namespace {

using simulation::SimulatedFault;

// Time that passes at once, in which Ctrl-C is pressed five seconds after
// the start: an install on the small adapter used here is done with its
// work by then, and waits on a read the adapter never answers.
// Not a VirtualClock, which the bus would advance without a sleep.
class ImpatientClock : public platform::Clock {
public:
    std::uint32_t tickCount() override { return static_cast<std::uint32_t>(now_ / 1000); }
    std::int64_t counterFrequency() override { return 1'000'000; }
    std::int64_t counterValue() override { return now_; }
    // Microseconds since Ctrl-C was pressed, or a negative number before.
    std::int64_t sinceThePress() const { return now_ - 5'000'000; }
    void sleep(std::uint32_t milliseconds) override
    {
        now_ += std::int64_t{milliseconds} * 1000;
        if (!pressed_ && now_ >= 5'000'000) {
            pressed_ = true;
            std::raise(SIGINT);
        }
    }

private:
    std::int64_t now_ = 0;  // microseconds
    bool pressed_ = false;
};

// The adapter, with that fault, for as long as it lives.
struct ImpatientSimulation {
    explicit ImpatientSimulation(SimulatedFault fault)
    {
        simulation::attachSimulatedAdapter(
            *bus, simulation::SimulatedAdapterSetup(6, "F1", simulation::SimulatedFirmware::none, fault));
    }

    ImpatientClock clock;
    std::shared_ptr<platform::VirtualBus> bus = platform::VirtualBus::create(clock);
    platform::ScopedServices services{bus->services()};
};

// Installs on an adapter that fails that way while a stop comes, and says
// on standard error how that ended.
[[noreturn]] void installStoppedIn(SimulatedFault fault)
{
    catchStopSignals();
    ImpatientSimulation simulated(fault);
    Output output;
    const std::unique_ptr<Report> report = Report::create(output, false, false);
    const AdapterResult result = workOn(attachedAdapters().front(), Work::install, false, *report);
    std::fprintf(stderr, "\n[%s %s: %s]\n", nameOf(result.outcome), result.failure ? nameOf(result.failure->kind) : "-",
                 result.failure ? result.failure->message.c_str() : "");
    // The wait ends at the stop, not at the link's time-out.
    std::fprintf(stderr, "[ended %lld ms after the stop]\n",
                 static_cast<long long>(simulated.clock.sinceThePress() / 1000));
    std::exit(0);
}

TEST(StopDuringAWait, ACommandLeftWithoutAnswerByTheStopIsAnInterruption)
{
    const struct {
        const char *what;
        SimulatedFault fault;
        const char *ending;  // as installStoppedIn writes it
    } cases[] = {
        {"the loader information read at the start", SimulatedFault::noReply,
         "\\[interrupted interrupted: interrupted before anything was written to Vantrel Flex F1\\]"},
        {"the first verify command, after the write", SimulatedFault::verify,
         "\\[interrupted interrupted: interrupted while verifying: Vantrel Flex F1 may be left partly written; "
         "installing again repairs it\\]"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EXIT(installStoppedIn(c.fault), testing::ExitedWithCode(0), c.ending);
        // Within 100 ms of the signal, on the virtual clock.
        EXPECT_EXIT(installStoppedIn(c.fault), testing::ExitedWithCode(0), "\\[ended [0-9]?[0-9] ms after the stop\\]");
    }
}

TEST(StopDuringAWait, AnAdapterListedWhileTheStopCameIsNotCalledSilent)
{
    const auto listStopped = [] {
        catchStopSignals();
        ImpatientSimulation simulated(SimulatedFault::noReply);
        Output output;
        const std::unique_ptr<Report> report = Report::create(output, true, false);
        const CommandResult result = runList(Options{}, *report);
        const AdapterView &view = result.listed.front();
        std::fprintf(stderr, "[%s]\n", view.failure ? nameOf(view.failure->kind) : "-");
        std::exit(0);
    };
    EXPECT_EXIT(listStopped(), testing::ExitedWithCode(0), "\\[interrupted\\]");
}

}  // namespace
