#pragma once

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/virtual/virtual_clock.h"

// Runs a test on the virtual clock, so waits cost no real time and elapsed
// times are exact.
class VirtualClockFixture : public testing::Test {
protected:
    platform::VirtualClock clock;

private:
    platform::ScopedServices services_{{&clock, nullptr}};
};
