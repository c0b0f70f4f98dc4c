// The GUI tests' entry: one application object for the whole run, the same
// class as the updater's, so its notify() safety net is in place.

#include <gtest/gtest.h>

#include "app/updater_application.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Test discovery runs at build time, without a display or a platform.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    UpdaterApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
