// The recording file: what is written reads back the same, 8-bit text and
// data included; whatever is not a whole recording of a known version is a
// clear error, whatever the bytes.

#include "recording/recording_format.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/device_text.h"
#include "recording/byte_text.h"
#include "tests/recording/session_runs.h"

namespace {

using recording::Exchange;
using recording::Operation;
using recording::parseRecording;

// A recording with one exchange of each kind, device strings with bytes of
// 0x80 and above, and read data with every byte value.
recording::Recording everyKind()
{
    recording::Recording r;
    r.header.command = {"install", "--serial", "S\xE9rie\xFF"};
    r.header.anonymised = true;
    r.header.backend = "libusb";
    const auto add = [&](Operation operation, auto fill) {
        Exchange exchange;
        exchange.operation = operation;
        exchange.elapsedMicroseconds = static_cast<std::int64_t>(r.exchanges.size()) * 1001;
        fill(exchange);
        r.exchanges.push_back(exchange);
    };
    add(Operation::list, [](Exchange &e) {
        platform::DeviceEntry usb;
        usb.devicePath = "/dev/bus/usb/001/\x80\x9F";
        usb.identity = platform::UsbIdentity{0x131B, 0x0010, "04\xA9\xFF" "01"};
        usb.manufacturer = "Vantr\xE9l";
        platform::DeviceEntry windows;
        windows.devicePath = "\\\\?\\usb#vid_131b";
        windows.instanceId = "USB\\VID_131B&PID_0004\\ABC\xD7";
        windows.description = "";
        e.entries = {usb, windows};
    });
    add(Operation::list, [](Exchange &e) { e.deviceClass = platform::DeviceClass::hid; });
    add(Operation::open, [](Exchange &e) {
        e.devicePath = "/dev/bus/usb/001/\x80\x9F";
        e.handle = 1;
    });
    add(Operation::open, [](Exchange &e) {
        e.pipeEnd = platform::Pipe::out;
        e.outcome = platform::OpenOutcome::accessDenied;
    });
    add(Operation::slot, [](Exchange &e) { e.handle = 2; });
    add(Operation::slot, [](Exchange &) {});
    add(Operation::read, [](Exchange &e) { e.pipe = 1, e.slot = 2, e.size = 300, e.ok = true; });
    add(Operation::write, [](Exchange &e) { e.pipe = 1, e.slot = 2, e.size = 13, e.crc = 0x0208E2B3, e.ok = false; });
    // In the work on the third of several adapters at once.
    add(Operation::wait, [](Exchange &e) { e.slot = 2, e.timeoutMilliseconds = 60000, e.ok = true, e.lane = 3; });
    add(Operation::result, [](Exchange &e) {
        e.pipe = 1, e.slot = 2, e.bytes = 256;
        for (int byte = 0; byte < 256; ++byte)
            e.data.push_back(static_cast<std::uint8_t>(byte));
    });
    add(Operation::result, [](Exchange &e) { e.pipe = 1, e.slot = 2; });
    add(Operation::cancel, [](Exchange &e) { e.pipe = 1, e.slot = 2; });
    add(Operation::reset, [](Exchange &e) { e.pipe = 1, e.ok = true; });
    add(Operation::vendor, [](Exchange &e) { e.pipe = 1, e.request = 9, e.value = 0xFFFFFFFF, e.index = 2; });
    add(Operation::close, [](Exchange &e) { e.handle = 1; });
    add(Operation::stop, [](Exchange &e) { e.stopSignal = 15, e.lane = 2; });
    r.trailingMicroseconds = 77;
    return r;
}

std::string written(const recording::Recording &r)
{
    std::string text = recording::headerLine(r.header) + "\n";
    for (std::size_t i = 0; i < r.exchanges.size(); ++i)
        text += recording::exchangeLine(r.exchanges[i], i + 1) + "\n";
    return text + recording::endLine(r.exchanges.size(), r.trailingMicroseconds, r.stopSignal) + "\n";
}

TEST(RecordingFormat, ReadsBackWhatItWrote)
{
    const recording::Recording original = everyKind();
    const std::string text = written(original);
    const recording::Recording read = parsed(text);
    EXPECT_EQ(written(read), text);

    // The 8-bit bytes themselves, not just a text that writes alike.
    EXPECT_EQ(read.header.command[2], "S\xE9rie\xFF");
    const platform::DeviceEntry &usb = read.exchanges[0].entries[0];
    EXPECT_EQ(usb.devicePath, "/dev/bus/usb/001/\x80\x9F");
    EXPECT_EQ(usb.identity->serialNumber, "04\xA9\xFF" "01");
    EXPECT_EQ(usb.manufacturer, "Vantr\xE9l");
    EXPECT_EQ(usb.description, std::nullopt);
    const platform::DeviceEntry &windows = read.exchanges[0].entries[1];
    EXPECT_FALSE(windows.identity);
    EXPECT_EQ(windows.instanceId, "USB\\VID_131B&PID_0004\\ABC\xD7");
    EXPECT_EQ(windows.description, "");
    EXPECT_EQ(read.exchanges[9].data, original.exchanges[9].data);
    EXPECT_EQ(read.exchanges[10].bytes, std::nullopt);
    EXPECT_EQ(read.exchanges[5].handle, 0u);  // no slot could be made
    EXPECT_EQ(read.exchanges[8].lane, 3u);
    EXPECT_EQ(read.exchanges[7].lane, 0u);
    EXPECT_EQ(read.trailingMicroseconds, 77);
}

// Each recording that the tests replay reads, and writes back to the very
// bytes it was read from: the format stays as the files have it.
TEST(RecordingFormat, EveryCommittedRecordingWritesBackToItsOwnBytes)
{
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(VANTREL_RECORDINGS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        EXPECT_EQ(written(parsed(text)), text) << entry.path();
        ++files;
    }
    EXPECT_GE(files, 15);
}

TEST(RecordingFormat, IsReadableText)
{
    const std::string text = written(everyKind());
    // Latin-1 reads as itself, bytes as hexadecimal, a CRC as the tools show it.
    EXPECT_NE(text.find("\"manufacturer\":\"Vantr\xC3\xA9l\""), std::string::npos);
    EXPECT_NE(text.find("\"data\":\"000102"), std::string::npos);
    EXPECT_NE(text.find("\"crc\":\"0208E2B3\""), std::string::npos);
    EXPECT_EQ(text.rfind("{\"recording\":\"vantrel-update session\",\"version\":3,", 0), 0u);
    // The program's own calls name no lane.
    EXPECT_NE(text.find("{\"n\":9,\"dt\":8008,\"lane\":3,\"op\":\"wait\""), std::string::npos);
    EXPECT_EQ(text.find("\"lane\":0"), std::string::npos);
}

TEST(RecordingFormat, AcceptsLinesEndedTheWindowsWayAndBlankLines)
{
    std::string text = written(everyKind());
    std::string crlf;
    for (const char c : text)
        crlf += c == '\n' ? std::string("\r\n\r\n") : std::string(1, c);
    EXPECT_EQ(written(parsed(crlf)), text);
}

TEST(ByteText, StringsTakeOnlyCodePointsThatAreBytes)
{
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(platform::exactLatin1FromUtf8(platform::utf8FromLatin1(one)), one) << byte;
    }
    // U+0100, an overlong form of 'A', a lone continuation, a cut sequence.
    for (const char *bad : {"\xC4\x80", "\xC1\x81", "\x80", "A\xC3"})
        EXPECT_EQ(platform::exactLatin1FromUtf8(bad), std::nullopt) << bad;
    EXPECT_EQ(recording::bytesFromHex("0aFF"), (std::vector<std::uint8_t>{0x0A, 0xFF}));
    for (const char *bad : {"0", "0g", " 0a"})
        EXPECT_EQ(recording::bytesFromHex(bad), std::nullopt) << bad;
}

// --- what is no recording --------------------------------------------------------

struct BadFile {
    const char *name;
    std::string text;
    std::string error;
};

void PrintTo(const BadFile &c, std::ostream *os) { *os << c.name; }

const std::string header = R"({"recording":"vantrel-update session","version":1,"command":["list"]})" "\n";
const std::string listing = R"({"n":1,"dt":0,"op":"list","class":"usb","devices":[]})" "\n";
const std::string end1 = R"({"op":"end","exchanges":1,"dt":0})" "\n";

std::vector<BadFile> badFiles()
{
    const auto exchange = [](const std::string &line) { return header + line + "\n" + end1; };
    return {
        {"empty", "", "the file is empty: this is not a recording of a device session"},
        {"other_text", "hello\n", "line 1: this is not a recording of a device session (its first line is not JSON)"},
        {"other_json", "{\"version\":1}\n" + listing + end1,
         "line 1: this is not a recording of a device session (its first line does not say \"vantrel-update session\")"},
        {"newer_version", R"({"recording":"vantrel-update session","version":4,"command":["list"]})" "\n" + end1,
         "line 1: the recording is of format version 4, and this program reads versions 1 to 3"},
        {"no_command", R"({"recording":"vantrel-update session","version":1})" "\n" + end1,
         "line 1: \"command\" is missing"},
        {"cut_in_a_line", header + listing.substr(0, 30), "line 2: not a JSON object (is the file cut short?)"},
        {"cut_at_a_line", header + listing, "the recording is cut short: it ends after exchange 1 without its end line"},
        {"end_miscounts", header + listing + R"({"op":"end","exchanges":2,"dt":0})" "\n",
         "line 3: the end line counts 2 exchanges, the file has 1"},
        {"after_the_end", header + listing + end1 + listing, "line 4: there is more after the end line"},
        {"numbering_gap", header + R"({"n":2,"dt":0,"op":"list","class":"usb","devices":[]})" "\n" + end1,
         "line 2: exchange numbered 2 where 1 was due"},
        {"unknown_operation", exchange(R"({"n":1,"dt":0,"op":"flash"})"),
         "line 2: \"op\" is none of the known names"},
        {"missing_member", exchange(R"({"n":1,"dt":0,"op":"read","pipe":1,"slot":2,"pending":true})"),
         "line 2: \"size\" is missing"},
        {"negative_size", exchange(R"({"n":1,"dt":0,"op":"read","pipe":1,"slot":2,"size":-2,"pending":true})"),
         "line 2: \"size\" is not a whole number in range"},
        {"fraction", exchange(R"({"n":1,"dt":0.5,"op":"slot","handle":3})"),
         "line 2: \"dt\" is not a whole number in range"},
        {"too_large", exchange(R"({"n":1,"dt":0,"op":"wait","slot":1,"timeout":4294967296,"completed":true})"),
         "line 2: \"timeout\" is not a whole number in range"},
        {"not_a_flag", exchange(R"({"n":1,"dt":0,"op":"reset","pipe":1,"ok":1})"),
         "line 2: \"ok\" is not true or false"},
        {"bad_hex", exchange(R"({"n":1,"dt":0,"op":"result","pipe":1,"slot":2,"bytes":2,"data":"fe0g"})"),
         "line 2: \"data\" is not hexadecimal bytes"},
        {"data_beyond_bytes", exchange(R"({"n":1,"dt":0,"op":"result","pipe":1,"slot":2,"bytes":1,"data":"fe01"})"),
         "line 2: \"data\" holds 2 bytes, and the result reports 1"},
        // The replay would report bytes it never handed over.
        {"data_short_of_bytes", exchange(R"({"n":1,"dt":0,"op":"result","pipe":1,"slot":2,"bytes":3,"data":"fe01"})"),
         "line 2: \"data\" holds 2 bytes, and the result reports 3"},
        {"data_without_bytes", exchange(R"({"n":1,"dt":0,"op":"result","pipe":1,"slot":2,"bytes":null,"data":"fe"})"),
         "line 2: \"data\" is given for a result without bytes"},
        // A replay on the real clock would wait for ever, and the sum of
        // times would overflow.
        {"dt_beyond_an_hour", exchange(R"({"n":1,"dt":3600000001,"op":"slot","handle":3})"),
         "line 2: \"dt\" is more than an hour, longer than any call waits"},
        {"end_dt_at_the_limit", header + listing + R"({"op":"end","exchanges":1,"dt":9223372036854775807})" "\n",
         "line 3: \"dt\" is more than an hour, longer than any call waits"},
        // Parsing a line builds it whole: one line of nested lists would take
        // gigabytes.
        {"line_beyond_a_mebibyte", exchange(std::string(recording::maximumLineBytes + 1, '[')),
         "line 2: the line is longer than 1 MiB, which no line of a recording is"},
        {"result_without_bytes", exchange(R"({"n":1,"dt":0,"op":"result","pipe":1,"slot":2})"),
         "line 2: \"bytes\" is missing"},
        {"short_crc", exchange(R"({"n":1,"dt":0,"op":"write","pipe":1,"slot":2,"size":5,"crc":"1234","pending":true})"),
         "line 2: \"crc\" is not eight hexadecimal digits"},
        {"wide_character", exchange(R"({"n":1,"dt":0,"op":"open","path":"\u0100","direction":"in","outcome":"busy"})"),
         "line 2: \"path\" holds a character above U+00FF"},
        {"opened_without_handle",
         exchange(R"({"n":1,"dt":0,"op":"open","path":"p","direction":"in","outcome":"opened"})"),
         "line 2: \"handle\" is missing"},
        {"device_not_object", exchange(R"({"n":1,"dt":0,"op":"list","class":"usb","devices":[7]})"),
         "line 2: a device is not an object"},
        {"half_an_identity",
         exchange(R"({"n":1,"dt":0,"op":"list","class":"usb","devices":[{"path":"p","vendorId":1}]})"),
         "line 2: \"productId\" is missing"},
        {"array_line", header + "[1,2]\n" + end1, "line 2: not a JSON object"},
    };
}

class BadFiles : public testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, AreRefusedWithAMessageNamingTheLine)
{
    const recording::ParsedRecording result = parseRecording(GetParam().text);
    EXPECT_FALSE(result.recording);
    EXPECT_EQ(result.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Each, BadFiles, testing::ValuesIn(badFiles()),
                         [](const testing::TestParamInfo<BadFile> &param) { return std::string(param.param.name); });

TEST(RecordingReader, TakesTheLongestLineAndTimeAndRefusesALargerFile)
{
    // Blank lines pad a whole recording to the most a file may hold.
    const std::string longest = std::string(recording::maximumLineBytes, ' ') + "\n";
    std::string text = header + R"({"n":1,"dt":3600000000,"op":"list","class":"usb","devices":[]})" "\n" + end1;
    while (text.size() + longest.size() <= recording::maximumRecordingBytes)
        text += longest;
    text += std::string(recording::maximumRecordingBytes - text.size() - 1, ' ') + "\n";
    ASSERT_EQ(text.size(), recording::maximumRecordingBytes);
    const recording::ParsedRecording whole = parseRecording(text);
    ASSERT_TRUE(whole.recording) << whole.error;
    EXPECT_EQ(whole.recording->exchanges[0].elapsedMicroseconds, recording::maximumElapsedMicroseconds);

    text += "\n";
    EXPECT_EQ(parseRecording(text).error, "the file is larger than 64 MiB, which no recording is");
}

// --- robustness over mutated input -------------------------------------------------

// A real recording: an adapter listed, opened and read.
const std::string &realRecording()
{
    static const std::string text =
        recordSimulated({{16, "04020001", simulation::SimulatedFirmware::older, std::nullopt}}, listSession).text;
    return text;
}

TEST(RecordingReader, RefusesEveryCutOfAWholeRecording)
{
    const std::string &text = realRecording();
    ASSERT_TRUE(parseRecording(text).recording);
    // Cut anywhere before the final line break, the end line is gone or broken.
    for (std::size_t size = 0; size + 1 < text.size(); ++size) {
        const recording::ParsedRecording result = parseRecording(std::string_view(text).substr(0, size));
        ASSERT_FALSE(result.recording) << "cut at " << size;
        ASSERT_FALSE(result.error.empty()) << "cut at " << size;
    }
}

TEST(RecordingReader, SurvivesMutatedInput)
{
    // Byte flips, insertions, deletions, and lines swapped or repeated, from
    // a fixed seed: every outcome is a recording or a message, never a crash
    // (the sanitizer build checks the memory behind that).
    const std::string &original = realRecording();
    std::mt19937 random(15);
    const auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const std::string interesting[] = {"\"", "\\", "{", "}", "[", ",", ":", "-", "0", "9", "e", "null", "\n",
                                       "\xC3", "\xFF", std::string(1, '\0'), "\"op\":\"end\"", "4294967296", "1e999"};
    int parsedWhole = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = original;
        for (int mutation = 0, count = 1 + static_cast<int>(below(4)); mutation < count; ++mutation) {
            const std::size_t at = below(text.size());
            switch (below(5)) {
            case 0:
                text[at] = static_cast<char>(below(256));
                break;
            case 1:
                text.insert(at, interesting[below(std::size(interesting))]);
                break;
            case 2:
                text.erase(at, 1 + below(16));
                break;
            case 3: {
                // A line again, somewhere else.
                const std::size_t start = text.rfind('\n', at);
                const std::size_t begin = start == std::string::npos ? 0 : start + 1;
                const std::size_t end = text.find('\n', at);
                text.insert(below(text.size()), text.substr(begin, end == std::string::npos ? end : end - begin + 1));
                break;
            }
            default:
                text.resize(at);
                break;
            }
            if (text.empty())
                break;
        }
        const recording::ParsedRecording result = parseRecording(text);
        EXPECT_NE(result.recording.has_value(), !result.error.empty());
        parsedWhole += result.recording.has_value();
    }
    // Most mutations break the file; some (a digit in a data byte) do not.
    EXPECT_GT(parsedWhole, 0);
    EXPECT_LT(parsedWhole, 3000);
}

}  // namespace
