// The command-line twin, built as shipped, on the libusb backend: it runs as
// a child process in this process's testbed (it inherits umockdev's preload
// and the testbed's location), and this process answers its USB requests.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/platform/libusb/emulated_variant.h"

namespace {

using nlohmann::json;

json runFlash(const std::string &arguments, int &exitCode)
{
    const std::string command = std::string(VANTREL_FLASH) + " " + arguments + " 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    std::string out;
    if (pipe) {
        std::array<char, 4096> chunk{};
        std::size_t n;
        while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
            out.append(chunk.data(), n);
        const int status = pclose(pipe);
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return json::parse(out);
}

class ProductBinary : public testing::Test {
protected:
    EmulatedVariant max{16};         // its own USB interface
    EmulatedVariant armStandard{3};  // behind an FTDI chip
    UsbTestbed testbed;
};

TEST_F(ProductBinary, InstallsOnEveryAttachedAdapterAndListsTheNewVersions)
{
    ASSERT_FALSE(max.ftdi());
    ASSERT_TRUE(armStandard.ftdi());
    int port = 1;
    for (EmulatedVariant *variant : {&max, &armStandard}) {
        auto description = EmulatedDevice::at("1-" + std::to_string(port), port + 1);
        description.productId = variant->config.productId;
        description.serial = variant->config.serialNumber;
        description.manufacturer = "Vantrel";
        testbed.add(description).connect(variant->peer());
        ++port;
    }

    int exitCode = -1;
    const json install = runFlash("install --all --json", exitCode);
    EXPECT_EQ(exitCode, 0) << install.dump(2);
    ASSERT_EQ(install["adapters"].size(), 2u);
    for (const json &result : install["adapters"])
        EXPECT_EQ(result["outcome"], "installed") << result.dump(2);

    const json list = runFlash("list --json", exitCode);
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(list["adapters"].size(), 2u) << list.dump(2);
    for (const json &adapter : list["adapters"]) {
        EXPECT_NE(adapter["installedVersion"], nullptr) << adapter.dump(2);
        EXPECT_EQ(adapter["installedVersion"], adapter["carriedVersion"]);
    }
    // The children are gone, so nothing else touches the loaders now.
    EXPECT_TRUE(max.loader.hasValidImage());
    EXPECT_TRUE(armStandard.loader.hasValidImage());
}

}  // namespace
