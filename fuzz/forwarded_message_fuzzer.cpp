// What a client of the single-instance socket sends: any bytes, in any
// pieces. The reader takes no byte beyond one message, never one past a
// refusal, and holds no more than the longest message allows.

#include <QByteArrayView>

#include "app/single_instance_message.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte cuts the rest into pieces, as a socket's reads would.
    const std::size_t piece = data[0] % 7 + 1;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const auto total = static_cast<qsizetype>(size - 1);
    ForwardedMessageReader reader;
    qsizetype taken = 0;
    while (taken < total && reader.state() == ForwardedMessageReader::State::incomplete) {
        const qsizetype length = std::min<qsizetype>(static_cast<qsizetype>(piece), total - taken);
        const qsizetype wanted = reader.wanted();
        const qsizetype took = reader.take(QByteArrayView(bytes + taken, length));
        FUZZ_CHECK(took >= 0 && took <= length);
        FUZZ_CHECK(took > 0 || wanted == 0);
        taken += took;
    }
    if (reader.state() != ForwardedMessageReader::State::incomplete)
        FUZZ_CHECK(reader.wanted() == 0);
    if (reader.state() == ForwardedMessageReader::State::refused)
        FUZZ_CHECK(taken == 4);  // refused on its count, before any text
    if (reader.state() == ForwardedMessageReader::State::complete) {
        FUZZ_CHECK(reader.message().size() <= maxForwardedCharacters);
        // What it took is exactly the message: its count and its text.
        FUZZ_CHECK(taken == 4 + reader.message().size() * 2);
    }
    return 0;
}
