// The FTDI link's de-framing read over raw reads whose results the fuzzer
// chooses: any count (negative, zero, short, more than was asked) and any
// bytes, between reads of any size and purges that may be refused.

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "datalink/ftdi_link.h"
#include "datalink/hexception.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzzed_transfer.h"
#include "platform/virtual/virtual_clock.h"

namespace {

// Raw reads and vendor requests answered from the fuzzer's data; each raw
// read takes a millisecond of the virtual clock, so time-outs come.
class FuzzedFtdiLink : public Ftd2xxDataLink {
public:
    explicit FuzzedFtdiLink(FuzzedDataProvider &input) : Ftd2xxDataLink(-1), input_(input) {}

    std::int32_t write(const std::uint8_t *, std::int32_t count) override { return count; }
    std::int32_t readRaw(std::uint8_t *buffer, std::int32_t count) override
    {
        platform::clock().sleep(1);
        if (input_.remaining_bytes() == 0)
            return 0;
        return fuzzedTransfer(input_, buffer, count, -2, count + 64);
    }
    bool vendorRequest(int, int, int) override { return input_.ConsumeBool(); }

private:
    FuzzedDataProvider &input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    platform::VirtualClock clock;
    const platform::ScopedServices services({&clock, nullptr});
    FuzzedDataProvider input(data, size);
    FuzzedFtdiLink link(input);
    link.setTimeout(input.ConsumeIntegralInRange<std::int32_t>(-1, 50));
    while (input.remaining_bytes() > 0) {
        if (input.ConsumeIntegralInRange(0, 7) == 0) {
            try {
                link.purge();
                FUZZ_CHECK(link.bufferedCount() == 0);
            } catch (const HException &) {
            }
            continue;
        }
        const auto count = input.ConsumeIntegralInRange<std::int32_t>(-1, 5000);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(std::max(count, 0)));
        const std::int32_t got = link.read(out.data(), count);
        FUZZ_CHECK(got <= std::max(count, 0));
        FUZZ_CHECK(got >= -2);
        FUZZ_CHECK(link.bufferedCount() >= 0 && link.bufferedCount() <= Ftd2xxDataLink::inputBufferSize);
    }
    return 0;
}
