#include <gtest/gtest.h>

#include "tests/platform/libusb/emulation/umockdev_preload.h"

int main(int argc, char **argv)
{
    if (!runWithUmockdevPreload(argv))
        return 1;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
