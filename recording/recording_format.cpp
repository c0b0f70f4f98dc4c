#include "recording/recording_format.h"

#include <array>
#include <limits>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/device_text.h"
#include "recording/byte_text.h"

namespace recording {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char *formatName = "vantrel-update session";

// The names each enumeration goes by in the file, in one table per type so
// that writing and reading can never disagree.
template <typename Value, std::size_t size>
using NameTable = std::array<std::pair<Value, const char *>, size>;

constexpr NameTable<Operation, 11> operationNames = {{
    {Operation::list, "list"},
    {Operation::open, "open"},
    {Operation::slot, "slot"},
    {Operation::close, "close"},
    {Operation::read, "read"},
    {Operation::write, "write"},
    {Operation::wait, "wait"},
    {Operation::result, "result"},
    {Operation::cancel, "cancel"},
    {Operation::reset, "reset"},
    {Operation::vendor, "vendor"},
}};
constexpr NameTable<platform::DeviceClass, 2> classNames = {{
    {platform::DeviceClass::usbDevice, "usb"},
    {platform::DeviceClass::hid, "hid"},
}};
constexpr NameTable<platform::Pipe, 2> pipeNames = {{
    {platform::Pipe::in, "in"},
    {platform::Pipe::out, "out"},
}};
constexpr NameTable<platform::OpenOutcome, 4> outcomeNames = {{
    {platform::OpenOutcome::opened, "opened"},
    {platform::OpenOutcome::busy, "busy"},
    {platform::OpenOutcome::accessDenied, "access-denied"},
    {platform::OpenOutcome::failed, "failed"},
}};

template <typename Value, std::size_t size>
const char *nameIn(const NameTable<Value, size> &table, Value value)
{
    for (const auto &[each, name] : table)
        if (each == value)
            return name;
    return "?";
}

Json text(const std::string &bytes) { return platform::utf8FromLatin1(bytes); }

Json entryJson(const platform::DeviceEntry &entry)
{
    Json object = {{"path", text(entry.devicePath)}};
    if (entry.identity) {
        object["vendorId"] = entry.identity->vendorId;
        object["productId"] = entry.identity->productId;
        object["serial"] = text(entry.identity->serialNumber);
    }
    if (!entry.instanceId.empty())
        object["instanceId"] = text(entry.instanceId);
    if (entry.manufacturer)
        object["manufacturer"] = text(*entry.manufacturer);
    if (entry.description)
        object["description"] = text(*entry.description);
    return object;
}

Json handleJson(HandleId handle) { return handle == 0 ? Json(nullptr) : Json(handle); }

// --- reading -----------------------------------------------------------------

// Why a line is not what it should be; caught where the line number is known.
struct Malformed {
    std::string reason;
};

// Typed access to one line's members, each failure a Malformed naming the member.
class Fields {
public:
    explicit Fields(const Json &object) : object_(object) {}

    bool has(const char *key) const { return object_.contains(key) && !object_.at(key).is_null(); }

    const Json &member(const char *key) const
    {
        if (!object_.contains(key))
            throw Malformed{std::string("\"") + key + "\" is missing"};
        return object_.at(key);
    }

    template <typename Number>
    Number number(const char *key, Number lowest = std::numeric_limits<Number>::min()) const
    {
        const Json &value = member(key);
        // Integers only: 1.5 or 1e3 is no count of bytes.
        if (value.is_number_unsigned()) {
            const auto n = value.get<std::uint64_t>();
            if (n <= static_cast<std::uint64_t>(std::numeric_limits<Number>::max()) &&
                static_cast<Number>(n) >= lowest)
                return static_cast<Number>(n);
        } else if (value.is_number_integer()) {
            const auto n = value.get<std::int64_t>();
            if (std::numeric_limits<Number>::is_signed && n >= static_cast<std::int64_t>(lowest))
                return static_cast<Number>(n);
        }
        throw Malformed{std::string("\"") + key + "\" is not a whole number in range"};
    }

    bool flag(const char *key) const
    {
        const Json &value = member(key);
        if (!value.is_boolean())
            throw Malformed{std::string("\"") + key + "\" is not true or false"};
        return value.get<bool>();
    }

    // A string as the bytes it stands for.
    std::string bytes(const char *key) const
    {
        const Json &value = member(key);
        if (!value.is_string())
            throw Malformed{std::string("\"") + key + "\" is not a string"};
        std::optional<std::string> decoded = platform::exactLatin1FromUtf8(value.get_ref<const std::string &>());
        if (!decoded)
            throw Malformed{std::string("\"") + key + "\" holds a character above U+00FF"};
        return *decoded;
    }

    std::optional<std::string> optionalBytes(const char *key) const
    {
        return has(key) ? std::optional(bytes(key)) : std::nullopt;
    }

    template <typename Value, std::size_t size>
    Value named(const char *key, const NameTable<Value, size> &table) const
    {
        const Json &value = member(key);
        if (value.is_string())
            for (const auto &[each, name] : table)
                if (value.get_ref<const std::string &>() == name)
                    return each;
        throw Malformed{std::string("\"") + key + "\" is none of the known names"};
    }

    // Time between two exchanges, bounded so that a replay on the real clock
    // ends and the replay's sum of times cannot overflow.
    std::int64_t elapsed(const char *key) const
    {
        const auto microseconds = number<std::int64_t>(key, 0);
        if (microseconds > maximumElapsedMicroseconds)
            throw Malformed{std::string("\"") + key + "\" is more than an hour, longer than any call waits"};
        return microseconds;
    }

    HandleId handle(const char *key) const { return has(key) ? number<HandleId>(key, 1) : 0; }

    std::vector<std::uint8_t> hex(const char *key) const
    {
        std::optional<std::vector<std::uint8_t>> data = bytesFromHex(bytes(key));
        if (!data)
            throw Malformed{std::string("\"") + key + "\" is not hexadecimal bytes"};
        return *data;
    }

private:
    const Json &object_;
};

platform::DeviceEntry entryFrom(const Json &object)
{
    if (!object.is_object())
        throw Malformed{"a device is not an object"};
    const Fields fields(object);
    platform::DeviceEntry entry;
    entry.devicePath = fields.bytes("path");
    if (fields.has("vendorId"))
        entry.identity = platform::UsbIdentity{fields.number<std::uint16_t>("vendorId"),
                                               fields.number<std::uint16_t>("productId"), fields.bytes("serial")};
    entry.instanceId = fields.optionalBytes("instanceId").value_or(std::string());
    entry.manufacturer = fields.optionalBytes("manufacturer");
    entry.description = fields.optionalBytes("description");
    return entry;
}

Exchange exchangeFrom(const Fields &fields)
{
    Exchange exchange;
    exchange.operation = fields.named("op", operationNames);
    exchange.elapsedMicroseconds = fields.elapsed("dt");
    switch (exchange.operation) {
    case Operation::list: {
        exchange.deviceClass = fields.named("class", classNames);
        const Json &devices = fields.member("devices");
        if (!devices.is_array())
            throw Malformed{"\"devices\" is not a list"};
        for (const Json &device : devices)
            exchange.entries.push_back(entryFrom(device));
        break;
    }
    case Operation::open:
        exchange.devicePath = fields.bytes("path");
        exchange.pipeEnd = fields.named("direction", pipeNames);
        exchange.outcome = fields.named("outcome", outcomeNames);
        if (exchange.outcome == platform::OpenOutcome::opened)
            exchange.handle = fields.number<HandleId>("handle", 1);
        break;
    case Operation::slot:
        exchange.handle = fields.handle("handle");
        break;
    case Operation::close:
        exchange.handle = fields.number<HandleId>("handle");
        break;
    case Operation::read:
    case Operation::write:
        exchange.pipe = fields.number<HandleId>("pipe");
        exchange.slot = fields.number<HandleId>("slot");
        exchange.size = fields.number<std::uint32_t>("size");
        if (exchange.operation == Operation::write) {
            const std::vector<std::uint8_t> crc = fields.hex("crc");
            if (crc.size() != 4)
                throw Malformed{"\"crc\" is not eight hexadecimal digits"};
            exchange.crc = std::uint32_t{crc[0]} << 24 | std::uint32_t{crc[1]} << 16 | std::uint32_t{crc[2]} << 8 | crc[3];
        }
        exchange.ok = fields.flag("pending");
        break;
    case Operation::wait:
        exchange.slot = fields.number<HandleId>("slot");
        exchange.timeoutMilliseconds = fields.number<std::uint32_t>("timeout");
        exchange.ok = fields.flag("completed");
        break;
    case Operation::result:
        exchange.pipe = fields.number<HandleId>("pipe");
        exchange.slot = fields.number<HandleId>("slot");
        if (fields.has("bytes"))
            exchange.bytes = fields.number<std::uint32_t>("bytes");
        else
            fields.member("bytes");  // null, not left out
        if (fields.has("data")) {
            // The replay hands the program exactly the bytes recorded, so the
            // count it reports must be theirs.
            exchange.data = fields.hex("data");
            if (!exchange.bytes)
                throw Malformed{"\"data\" is given for a result without bytes"};
            if (exchange.data.size() != *exchange.bytes)
                throw Malformed{"\"data\" holds " + std::to_string(exchange.data.size()) +
                                " bytes, and the result reports " + std::to_string(*exchange.bytes)};
        }
        break;
    case Operation::cancel:
        exchange.pipe = fields.number<HandleId>("pipe");
        exchange.slot = fields.number<HandleId>("slot");
        break;
    case Operation::reset:
        exchange.pipe = fields.number<HandleId>("pipe");
        exchange.ok = fields.flag("ok");
        break;
    case Operation::vendor:
        exchange.pipe = fields.number<HandleId>("pipe");
        exchange.request = fields.number<std::uint32_t>("request");
        exchange.value = fields.number<std::uint32_t>("value");
        exchange.index = fields.number<std::uint32_t>("index");
        exchange.ok = fields.flag("ok");
        break;
    }
    return exchange;
}

RecordingHeader headerFrom(const Json &object)
{
    if (!object.is_object() || !object.contains("recording") || object.at("recording") != formatName)
        throw Malformed{std::string("this is not a recording of a device session (its first line does not say \"") +
                        formatName + "\")"};
    const Fields fields(object);
    RecordingHeader header;
    header.version = fields.number<int>("version");
    if (header.version != formatVersion)
        throw Malformed{"the recording is of format version " + std::to_string(header.version) +
                        ", and this program reads version " + std::to_string(formatVersion)};
    const Json &command = fields.member("command");
    if (!command.is_array())
        throw Malformed{"\"command\" is not a list"};
    for (const Json &word : command) {
        if (!word.is_string())
            throw Malformed{"\"command\" holds something other than strings"};
        std::optional<std::string> decoded = platform::exactLatin1FromUtf8(word.get_ref<const std::string &>());
        if (!decoded)
            throw Malformed{"\"command\" holds a character above U+00FF"};
        header.command.push_back(std::move(*decoded));
    }
    header.anonymised = fields.has("anonymised") && fields.flag("anonymised");
    header.backend = fields.optionalBytes("backend").value_or(std::string());
    return header;
}

// The next line of `text` from `position`, without its line break (LF or CR LF).
std::string_view nextLine(std::string_view text, std::size_t &position)
{
    const std::size_t end = text.find('\n', position);
    std::string_view line = text.substr(position, end == std::string_view::npos ? std::string_view::npos : end - position);
    position = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool blank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

}  // namespace

std::string headerLine(const RecordingHeader &header)
{
    Json command = Json::array();
    for (const std::string &word : header.command)
        command.push_back(text(word));
    Json object = {{"recording", formatName}, {"version", header.version}, {"command", command},
                   {"anonymised", header.anonymised}};
    if (!header.backend.empty())
        object["backend"] = text(header.backend);
    return object.dump();
}

std::string exchangeLine(const Exchange &exchange, std::size_t number)
{
    Json object = {{"n", number},
                   {"dt", exchange.elapsedMicroseconds},
                   {"op", nameIn(operationNames, exchange.operation)}};
    switch (exchange.operation) {
    case Operation::list: {
        object["class"] = nameIn(classNames, exchange.deviceClass);
        Json devices = Json::array();
        for (const platform::DeviceEntry &entry : exchange.entries)
            devices.push_back(entryJson(entry));
        object["devices"] = devices;
        break;
    }
    case Operation::open:
        object["path"] = text(exchange.devicePath);
        object["direction"] = nameIn(pipeNames, exchange.pipeEnd);
        object["outcome"] = nameIn(outcomeNames, exchange.outcome);
        if (exchange.outcome == platform::OpenOutcome::opened)
            object["handle"] = exchange.handle;
        break;
    case Operation::slot:
        object["handle"] = handleJson(exchange.handle);
        break;
    case Operation::close:
        object["handle"] = exchange.handle;
        break;
    case Operation::read:
    case Operation::write:
        object["pipe"] = exchange.pipe;
        object["slot"] = exchange.slot;
        object["size"] = exchange.size;
        if (exchange.operation == Operation::write)
            object["crc"] = crcText(exchange.crc);
        object["pending"] = exchange.ok;
        break;
    case Operation::wait:
        object["slot"] = exchange.slot;
        object["timeout"] = exchange.timeoutMilliseconds;
        object["completed"] = exchange.ok;
        break;
    case Operation::result:
        object["pipe"] = exchange.pipe;
        object["slot"] = exchange.slot;
        object["bytes"] = exchange.bytes ? Json(*exchange.bytes) : Json(nullptr);
        if (!exchange.data.empty())
            object["data"] = hexFromBytes(exchange.data.data(), exchange.data.size());
        break;
    case Operation::cancel:
        object["pipe"] = exchange.pipe;
        object["slot"] = exchange.slot;
        break;
    case Operation::reset:
        object["pipe"] = exchange.pipe;
        object["ok"] = exchange.ok;
        break;
    case Operation::vendor:
        object["pipe"] = exchange.pipe;
        object["request"] = exchange.request;
        object["value"] = exchange.value;
        object["index"] = exchange.index;
        object["ok"] = exchange.ok;
        break;
    }
    return object.dump();
}

std::string endLine(std::size_t exchanges, std::int64_t trailingMicroseconds)
{
    return Json{{"op", "end"}, {"exchanges", exchanges}, {"dt", trailingMicroseconds}}.dump();
}

ParsedRecording parseRecording(std::string_view text)
{
    Recording recording;
    bool headerRead = false;
    bool ended = false;
    std::size_t lineNumber = 0;
    std::size_t position = 0;
    if (text.size() > maximumRecordingBytes)
        return {std::nullopt, "the file is larger than " + std::to_string(maximumRecordingBytes >> 20) +
                                  " MiB, which no recording is"};
    try {
        while (position < text.size()) {
            ++lineNumber;
            const std::string_view line = nextLine(text, position);
            if (line.size() > maximumLineBytes)
                throw Malformed{"the line is longer than " + std::to_string(maximumLineBytes >> 20) +
                                " MiB, which no line of a recording is"};
            if (blank(line))
                continue;
            if (ended)
                throw Malformed{"there is more after the end line"};
            const Json object = Json::parse(line, nullptr, /*allow_exceptions=*/false);
            if (object.is_discarded())
                throw Malformed{headerRead ? "not a JSON object (is the file cut short?)"
                                           : "this is not a recording of a device session (its first line is not JSON)"};
            if (!headerRead) {
                recording.header = headerFrom(object);
                headerRead = true;
                continue;
            }
            if (!object.is_object())
                throw Malformed{"not a JSON object"};
            const Fields fields(object);
            if (object.contains("op") && object.at("op") == "end") {
                if (fields.number<std::size_t>("exchanges") != recording.exchanges.size())
                    throw Malformed{"the end line counts " + object.at("exchanges").dump() + " exchanges, the file has " +
                                    std::to_string(recording.exchanges.size())};
                recording.trailingMicroseconds = fields.elapsed("dt");
                ended = true;
                continue;
            }
            const std::size_t expected = recording.exchanges.size() + 1;
            if (fields.number<std::size_t>("n") != expected)
                throw Malformed{"exchange numbered " + object.at("n").dump() + " where " + std::to_string(expected) +
                                " was due"};
            recording.exchanges.push_back(exchangeFrom(fields));
        }
    } catch (const Malformed &malformed) {
        return {std::nullopt, "line " + std::to_string(lineNumber) + ": " + malformed.reason};
    } catch (const nlohmann::json::exception &e) {
        // Every access above is checked first; this is the last guard.
        return {std::nullopt, "line " + std::to_string(lineNumber) + ": " + e.what()};
    }
    if (!headerRead)
        return {std::nullopt, "the file is empty: this is not a recording of a device session"};
    if (!ended)
        return {std::nullopt, "the recording is cut short: it ends after exchange " +
                                  std::to_string(recording.exchanges.size()) + " without its end line"};
    return {std::move(recording), {}};
}

}  // namespace recording
