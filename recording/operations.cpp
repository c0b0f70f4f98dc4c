#include "recording/operations.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "recording/json_lines.h"

namespace recording {

namespace {

// --- the members of a line ---------------------------------------------------------

// One member of an exchange as its line keeps it.
class Field {
public:
    explicit Field(const char *key_) : key(key_) {}
    virtual ~Field() = default;
    Field(const Field &) = delete;
    Field &operator=(const Field &) = delete;

    virtual void write(Json &object, const Exchange &exchange) const = 0;
    virtual void read(const Fields &fields, Exchange &exchange) const = 0;

    const char *const key;
};

// What the program asked: told in messages, and compared on replay unless
// it says nothing of what was asked of the device.
class Argument : public Field {
public:
    enum class Matched { yes, no };

    Argument(const char *key_, Matched matched_) : Field(key_), matched(matched_ == Matched::yes) {}

    virtual bool same(const Exchange &a, const Exchange &b) const = 0;
    virtual std::string told(const Exchange &exchange) const = 0;

    const bool matched;
};

// A member of one type, compared as it is.
template <typename Value>
class ArgumentOf : public Argument {
public:
    ArgumentOf(const char *key_, Value Exchange::*member, Matched matched_)
        : Argument(key_, matched_), member_(member)
    {
    }
    bool same(const Exchange &a, const Exchange &b) const override { return a.*member_ == b.*member_; }

protected:
    Value Exchange::*member_;
};

// A 32-bit whole number: a handle's number, a size, a time-out, a vendor
// request's numbers.
class Number : public ArgumentOf<std::uint32_t> {
public:
    Number(const char *key_, std::uint32_t Exchange::*member, Matched matched_ = Matched::yes)
        : ArgumentOf(key_, member, matched_)
    {
    }
    void write(Json &object, const Exchange &exchange) const override { object[key] = exchange.*member_; }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        exchange.*member_ = fields.number<std::uint32_t>(key);
    }
    std::string told(const Exchange &exchange) const override { return std::to_string(exchange.*member_); }
};

// A CRC-32 as eight hexadecimal digits, as the loader's tools show it.
class Crc : public ArgumentOf<std::uint32_t> {
public:
    Crc(const char *key_, std::uint32_t Exchange::*member) : ArgumentOf(key_, member, Matched::yes) {}
    void write(Json &object, const Exchange &exchange) const override { object[key] = crcText(exchange.*member_); }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        const std::vector<std::uint8_t> crc = fields.hex(key);
        if (crc.size() != 4)
            throw Malformed{std::string("\"") + key + "\" is not eight hexadecimal digits"};
        exchange.*member_ =
            std::uint32_t{crc[0]} << 24 | std::uint32_t{crc[1]} << 16 | std::uint32_t{crc[2]} << 8 | crc[3];
    }
    std::string told(const Exchange &exchange) const override { return crcText(exchange.*member_); }
};

// 8-bit device text.
class Text : public ArgumentOf<std::string> {
public:
    Text(const char *key_, std::string Exchange::*member) : ArgumentOf(key_, member, Matched::yes) {}
    void write(Json &object, const Exchange &exchange) const override { object[key] = text(exchange.*member_); }
    void read(const Fields &fields, Exchange &exchange) const override { exchange.*member_ = fields.bytes(key); }
    std::string told(const Exchange &exchange) const override { return platform::utf8FromLatin1(exchange.*member_); }
};

// A value by its name in the file; a message may call it otherwise.
template <typename Value, std::size_t size>
class Named : public ArgumentOf<Value> {
public:
    Named(const char *key_, Value Exchange::*member, const NameTable<Value, size> &names,
          const NameTable<Value, size> &spoken)
        : ArgumentOf<Value>(key_, member, Argument::Matched::yes), names_(names), spoken_(spoken)
    {
    }
    Named(const char *key_, Value Exchange::*member, const NameTable<Value, size> &names)
        : Named(key_, member, names, names)
    {
    }
    void write(Json &object, const Exchange &exchange) const override
    {
        object[this->key] = nameIn(names_, exchange.*(this->member_));
    }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        exchange.*(this->member_) = fields.named(this->key, names_);
    }
    std::string told(const Exchange &exchange) const override { return nameIn(spoken_, exchange.*(this->member_)); }

private:
    const NameTable<Value, size> &names_;
    const NameTable<Value, size> &spoken_;
};

// A flag of the answer: went pending, completed, done.
class Flag : public Field {
public:
    explicit Flag(const char *key_) : Field(key_) {}
    void write(Json &object, const Exchange &exchange) const override { object[key] = exchange.ok; }
    void read(const Fields &fields, Exchange &exchange) const override { exchange.ok = fields.flag(key); }
};

// The signal of the stop that ended a wait: there only when one did.
class StopOfWait : public Field {
public:
    StopOfWait() : Field("stop") {}
    void write(Json &object, const Exchange &exchange) const override
    {
        if (exchange.stopSignal != 0)
            object[key] = exchange.stopSignal;
    }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        if (fields.has(key))
            exchange.stopSignal = fields.stopSignal(key);
    }
};

// The signal of a stop the program acted on between calls.
class SignalOfStop : public Field {
public:
    SignalOfStop() : Field("signal") {}
    void write(Json &object, const Exchange &exchange) const override { object[key] = exchange.stopSignal; }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        exchange.stopSignal = fields.stopSignal(key);
    }
};

// The handle an open was given: there only when the pipe opened.
class OpenedHandle : public Field {
public:
    OpenedHandle() : Field("handle") {}
    void write(Json &object, const Exchange &exchange) const override
    {
        if (exchange.outcome == platform::OpenOutcome::opened)
            object[key] = exchange.handle;
    }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        if (exchange.outcome == platform::OpenOutcome::opened)
            exchange.handle = fields.number<HandleId>(key, 1);
    }
};

// The slot a request slot call was given: null when none could be made.
class IssuedHandle : public Field {
public:
    IssuedHandle() : Field("handle") {}
    void write(Json &object, const Exchange &exchange) const override
    {
        object[key] = exchange.handle == 0 ? Json(nullptr) : Json(exchange.handle);
    }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        exchange.handle = fields.has(key) ? fields.number<HandleId>(key, 1) : 0;
    }
};

// The devices listed, each with what the backend had of it.
class Devices : public Field {
public:
    Devices() : Field("devices") {}
    void write(Json &object, const Exchange &exchange) const override
    {
        Json devices = Json::array();
        for (const platform::DeviceEntry &entry : exchange.entries)
            devices.push_back(entryJson(entry));
        object[key] = devices;
    }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        const Json &devices = fields.member(key);
        if (!devices.is_array())
            throw Malformed{"\"devices\" is not a list"};
        for (const Json &device : devices)
            exchange.entries.push_back(entryFrom(device));
    }

private:
    static Json entryJson(const platform::DeviceEntry &entry)
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

    static platform::DeviceEntry entryFrom(const Json &object)
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
};

// The bytes a result reports: null when it could not be fetched.
class ByteCount : public Field {
public:
    ByteCount() : Field("bytes") {}
    void write(Json &object, const Exchange &exchange) const override
    {
        object[key] = exchange.bytes ? Json(*exchange.bytes) : Json(nullptr);
    }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        if (fields.has(key))
            exchange.bytes = fields.number<std::uint32_t>(key);
        else
            fields.member(key);  // null, not left out
    }
};

// The bytes a read brought, in full, as hexadecimal; left out when none.
class ReadData : public Field {
public:
    ReadData() : Field("data") {}
    void write(Json &object, const Exchange &exchange) const override
    {
        if (!exchange.data.empty())
            object[key] = hexFromBytes(exchange.data.data(), exchange.data.size());
    }
    void read(const Fields &fields, Exchange &exchange) const override
    {
        if (!fields.has(key))
            return;
        // The replay hands the program exactly the bytes recorded, so the
        // count it reports must be theirs.
        exchange.data = fields.hex(key);
        if (!exchange.bytes)
            throw Malformed{"\"data\" is given for a result without bytes"};
        if (exchange.data.size() != *exchange.bytes)
            throw Malformed{"\"data\" holds " + std::to_string(exchange.data.size()) + " bytes, and the result reports " +
                            std::to_string(*exchange.bytes)};
    }
};

// --- the names of values -----------------------------------------------------------

constexpr NameTable<platform::DeviceClass, 2> classNames = {{
    {platform::DeviceClass::usbDevice, "usb"},
    {platform::DeviceClass::hid, "hid"},
}};
constexpr NameTable<platform::DeviceClass, 2> classWords = {{
    {platform::DeviceClass::usbDevice, "USB"},
    {platform::DeviceClass::hid, "HID"},
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

// --- the operations ----------------------------------------------------------------

using Matched = Argument::Matched;

const Named deviceClass("class", &Exchange::deviceClass, classNames, classWords);
const Text path("path", &Exchange::devicePath);
const Named direction("direction", &Exchange::pipeEnd, pipeNames);
const Number pipe("pipe", &Exchange::pipe);
const Number slot("slot", &Exchange::slot);
const Number closedHandle("handle", &Exchange::handle);
const Number size("size", &Exchange::size);
const Crc crc("crc", &Exchange::crc);
// A wait's time-out is what is left of the program's own budget, counted on
// its clock in whole milliseconds: it tells nothing of what was asked of the
// device, and a replay that starts at another point of a millisecond may
// count one less.
const Number timeout("timeout", &Exchange::timeoutMilliseconds, Matched::no);
const Number vendorRequest("request", &Exchange::request);
const Number vendorValue("value", &Exchange::value);
const Number vendorIndex("index", &Exchange::index);

const Devices devices;
const Named outcome("outcome", &Exchange::outcome, outcomeNames);
const OpenedHandle openedHandle;
const IssuedHandle issuedHandle;
const Flag pending("pending");
const Flag completed("completed");
const StopOfWait stopOfWait;
const SignalOfStop signalOfStop;
const Flag done("ok");
const ByteCount byteCount;
const ReadData readData;

struct OperationFormat {
    Operation operation;
    const char *name;
    // In the order they are written, after "op".
    std::vector<const Argument *> asked;
    std::vector<const Field *> answer;
    // How a message tells the call, "{key}" standing for that argument; the
    // detailed form tells every argument, for two calls that read alike.
    const char *brief;
    const char *detailed = nullptr;
};

const std::vector<OperationFormat> operations = {
    {Operation::list, "list", {&deviceClass}, {&devices}, "a listing of {class} devices"},
    {Operation::open, "open", {&path, &direction}, {&outcome, &openedHandle},
     "an open of the {direction} pipe of {path}"},
    {Operation::slot, "slot", {}, {&issuedHandle}, "a request slot"},
    {Operation::close, "close", {&closedHandle}, {}, "a close of handle {handle}"},
    {Operation::read, "read", {&pipe, &slot, &size}, {&pending}, "a read of {size} bytes",
     "a read of {size} bytes on pipe {pipe}, slot {slot}"},
    {Operation::write, "write", {&pipe, &slot, &size, &crc}, {&pending}, "a write of {size} bytes",
     "a write of {size} bytes with CRC-32 {crc} on pipe {pipe}, slot {slot}"},
    {Operation::wait, "wait", {&slot, &timeout}, {&completed, &stopOfWait}, "a wait on slot {slot}",
     "a wait of up to {timeout} ms on slot {slot}"},
    {Operation::result, "result", {&pipe, &slot}, {&byteCount, &readData}, "the result on slot {slot}",
     "the result on slot {slot} on pipe {pipe}"},
    {Operation::cancel, "cancel", {&pipe, &slot}, {}, "a cancel on slot {slot}",
     "a cancel on slot {slot} on pipe {pipe}"},
    {Operation::reset, "reset", {&pipe}, {&done}, "a reset of pipe {pipe}"},
    {Operation::vendor, "vendor", {&pipe, &vendorRequest, &vendorValue, &vendorIndex}, {&done},
     "vendor request {request} on pipe {pipe}", "vendor request {request} (value {value}, index {index}) on pipe {pipe}"},
    {Operation::stop, "stop", {}, {&signalOfStop}, "the stop the user asked for"},
};

const OperationFormat &formatOf(Operation operation)
{
    return *std::find_if(operations.begin(), operations.end(),
                         [&](const OperationFormat &format) { return format.operation == operation; });
}

const OperationFormat &formatNamed(const Fields &fields, const char *key)
{
    const Json &name = fields.member(key);
    for (const OperationFormat &format : operations)
        if (name.is_string() && name.get_ref<const std::string &>() == format.name)
            return format;
    throw Malformed{std::string("\"") + key + "\" is none of the known names"};
}

}  // namespace

void writeExchange(Json &object, const Exchange &exchange)
{
    const OperationFormat &format = formatOf(exchange.operation);
    object["dt"] = exchange.elapsedMicroseconds;
    if (exchange.lane != 0)
        object["lane"] = exchange.lane;
    object["op"] = format.name;
    for (const Field *field : format.asked)
        field->write(object, exchange);
    for (const Field *field : format.answer)
        field->write(object, exchange);
}

Exchange readExchange(const Fields &fields)
{
    const OperationFormat &format = formatNamed(fields, "op");
    Exchange exchange;
    exchange.operation = format.operation;
    exchange.elapsedMicroseconds = fields.elapsed("dt");
    if (fields.has("lane"))
        exchange.lane = fields.number<unsigned>("lane");
    for (const Field *field : format.asked)
        field->read(fields, exchange);
    for (const Field *field : format.answer)
        field->read(fields, exchange);
    return exchange;
}

bool sameRequest(const Exchange &recorded, const Exchange &asked)
{
    if (recorded.operation != asked.operation)
        return false;
    const std::vector<const Argument *> &arguments = formatOf(asked.operation).asked;
    return std::all_of(arguments.begin(), arguments.end(), [&](const Argument *argument) {
        return !argument->matched || argument->same(recorded, asked);
    });
}

std::string describe(const Exchange &exchange, bool detailed)
{
    const OperationFormat &format = formatOf(exchange.operation);
    const std::string_view pattern = detailed && format.detailed ? format.detailed : format.brief;
    std::string words;
    std::size_t at = 0;
    while (at < pattern.size()) {
        const std::size_t open = pattern.find('{', at);
        const std::size_t close = pattern.find('}', open);
        if (open == std::string_view::npos || close == std::string_view::npos) {
            words += pattern.substr(at);
            break;
        }
        words += pattern.substr(at, open - at);
        const std::string_view key = pattern.substr(open + 1, close - open - 1);
        for (const Argument *argument : format.asked)
            if (key == argument->key)
                words += argument->told(exchange);
        at = close + 1;
    }
    return words;
}

}  // namespace recording
