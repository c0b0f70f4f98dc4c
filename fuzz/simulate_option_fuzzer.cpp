// vantrel-flash's command line: any arguments, and above all any
// --simulate VARIANT[,ITEM...] description of a simulated adapter. A
// command line is understood or refused with a usage error, nothing else.

#include <string>
#include <vector>

#include "cli/options.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string rest(reinterpret_cast<const char *>(data) + 1, size - 1);
    std::vector<std::string> arguments;
    if (data[0] & 1) {
        // One adapter description, as the tools' users write it.
        arguments = {"install", "--simulate", rest};
    } else {
        // Arguments apart at each zero byte, as a program receives them.
        std::size_t start = 0;
        for (std::size_t end; (end = rest.find('\0', start)) != std::string::npos; start = end + 1)
            arguments.push_back(rest.substr(start, end - start));
        arguments.push_back(rest.substr(start));
    }
    try {
        const Options options = parseOptions(arguments);
        for (const simulation::SimulatedAdapterSetup &setup : options.simulate) {
            FUZZ_CHECK(setup.productId != 0);  // a carried variant, or the one that stands for none
            FUZZ_CHECK(!setup.serialNumber.empty());
        }
    } catch (const UsageError &error) {
        FUZZ_CHECK(!error.message.empty());
    }
    return 0;
}
