// The loader protocol over a peer that answers anything: reads bring any
// bytes and any count, writes take any count. Every failure must be an
// HException with one of the protocol's own messages.

#include <fuzzer/FuzzedDataProvider.h>

#include <set>
#include <string>
#include <vector>

#include "datalink/data_link.h"
#include "datalink/hexception.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzzed_transfer.h"
#include "loader/loader_info.h"
#include "platform/virtual/virtual_clock.h"

namespace {

class AnswerAnythingLink : public HDataLink {
public:
    explicit AnswerAnythingLink(FuzzedDataProvider &input) : input_(input) {}

    std::int32_t read(std::uint8_t *buffer, std::int32_t count) override
    {
        return fuzzedTransfer(input_, buffer, count, -1, count + 1);
    }
    std::int32_t write(const std::uint8_t *, std::int32_t count) override
    {
        return input_.ConsumeBool() ? count : input_.ConsumeIntegralInRange<std::int32_t>(-1, count + 1);
    }

private:
    FuzzedDataProvider &input_;
};

const std::set<std::string> protocolMessages = {
    "write timed out",
    "hardware error: target JTAG adapter data link read timed out",
    "connect failed, unexpected tag returned",
    "connect failed",
    "disconnect failed, unexpected tag returned",
    "disconnect failed",
    "get loader info failed, unexpected tag returned",
    "memory erase failed, unexpected tag returned",
    "memory erase failed",
    "memory write failed, unexpected tag returned",
    "memory write failed",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    platform::VirtualClock clock;
    const platform::ScopedServices services({&clock, nullptr});
    FuzzedDataProvider input(data, size);
    AnswerAnythingLink link(input);
    const std::vector<std::uint8_t> block(512, 0xA5);
    while (input.remaining_bytes() > 0) {
        const auto length = input.ConsumeIntegralInRange<std::uint32_t>(0, static_cast<std::uint32_t>(block.size()));
        try {
            switch (input.ConsumeIntegralInRange(0, 5)) {
            case 0:
                link.connect(true);
                break;
            case 1:
                link.disconnect();
                break;
            case 2: {
                LoaderInfo info{};
                link.getLoaderInfo(info);
                break;
            }
            case 3:
                link.eraseMemory(input.ConsumeIntegral<std::uint32_t>(), length);
                break;
            case 4:
                link.writeMemory(input.ConsumeIntegral<std::uint32_t>(), length, block.data());
                break;
            default:
                link.verifyMemory(input.ConsumeIntegral<std::uint32_t>(), length, block.data());
                break;
            }
        } catch (const HException &e) {
            if (!protocolMessages.count(e.message()))
                std::fprintf(stderr, "unexpected message: \"%s\"\n", e.message().c_str());
            FUZZ_CHECK(protocolMessages.count(e.message()) == 1);
        }
    }
    return 0;
}
