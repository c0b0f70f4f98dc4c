#include "platform/virtual/virtual_bus.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "loader/commands.h"

namespace platform {

namespace {

// The one HID function table entry each bound name points at.
const char *const hidFunctionTokens[] = {
    "HidD_GetAttributes",    "HidD_GetSerialNumberString", "HidD_GetManufacturerString",
    "HidD_GetProductString", "HidD_SetFeature",            "HidD_GetFeature",
    "HidD_GetIndexedString", "HidD_GetPreparsedData",      "HidD_FreePreparsedData",
    "HidP_GetCaps",          "HidD_SetNumInputBuffers",    "HidD_GetNumInputBuffers",
};

}  // namespace

struct VirtualBus::Object {
    virtual ~Object() = default;
};

// An open HID device file.
struct VirtualBus::HidDevice : Object {
    VirtualInterface interface;
};

struct VirtualBus::OpenPipe : Object {
    VirtualAdapter *adapter;
    int generation;
    bool in;
};

struct VirtualBus::Slot : Object {
    bool outstanding = false;
    bool completed = false;
    bool failed = false;
    bool in = false;
    Handle pipe = invalidHandle;
    std::uint8_t *buffer = nullptr;
    std::uint32_t count = 0;
    std::uint32_t bytes = 0;
    std::int64_t earliestEnd = 0;  // bus time; a slow device's requests end no sooner
    bool holding = false;          // a slow device's write, sent when it ends
    std::vector<std::uint8_t> held;
};

// --- VirtualAdapter -------------------------------------------------------

VirtualAdapter::VirtualAdapter(VirtualBus &bus, AdapterConfig config) : bus_(bus), config_(std::move(config))
{
    // A place on the bus of its own, whatever its serial number: adapters
    // with equal serial numbers are still told apart by where they are.
    if (config_.devicePath.empty())
        config_.devicePath = "virtual:1-" + std::to_string(bus_.adapters_.size() + 1);
    loader_ = std::make_unique<SimulatedLoader>(config_.flashBase, config_.flashSize, config_.imageAddress);
    if (config_.ftdi)
        chip_ = std::make_unique<FtdiChip>(*loader_);
    loader_->setCommandObserver([this](std::uint8_t command) { return bus_.onLoaderCommand(*this, command); });
    loader_->setTimeSource([this] { return bus_.nowMicroseconds(); });
}

bool VirtualAdapter::present() const
{
    return attached_ && bus_.nowMicroseconds() >= absentUntil_;
}

void VirtualAdapter::setReenumerateOnConnect(std::uint32_t absentMilliseconds)
{
    reenumerateAbsence_ = absentMilliseconds;
    runningFirmware_ = true;
}

// --- VirtualBus -----------------------------------------------------------

VirtualBus::VirtualBus(Clock &clock) : clock_(clock), time_(clock) {}
VirtualBus::~VirtualBus() = default;

std::shared_ptr<VirtualBus> VirtualBus::create(Clock &clock)
{
    return std::shared_ptr<VirtualBus>(new VirtualBus(clock));
}

Services VirtualBus::services() { return {&clock_, shared_from_this()}; }

std::int64_t VirtualBus::nowMicroseconds() { return time_.nowMicroseconds(); }

VirtualAdapter &VirtualBus::attach(AdapterConfig config)
{
    adapters_.push_back(std::unique_ptr<VirtualAdapter>(new VirtualAdapter(*this, std::move(config))));
    return *adapters_.back();
}

void VirtualBus::detach(VirtualAdapter &adapter) { unplug(adapter); }

void VirtualBus::reattach(VirtualAdapter &adapter)
{
    adapter.attached_ = true;
    adapter.absentUntil_ = 0;
}

void VirtualBus::unplug(VirtualAdapter &adapter)
{
    adapter.attached_ = false;
    ++adapter.generation_;
    adapter.inPipeOpen_ = adapter.outPipeOpen_ = false;
    adapter.loaderBusyUntil_ = 0;
    adapter.loader().discardOutput();
    adapter.loader().discardInput();
}

bool VirtualBus::onLoaderCommand(VirtualAdapter &adapter, std::uint8_t command)
{
    if (command != loader::connectCommand || !adapter.runningFirmware_ || !adapter.loader().hasValidImage())
        return true;
    // The firmware hands over to the boot loader: the adapter leaves the bus
    // without answering and comes back as the loader, with the same serial number.
    adapter.runningFirmware_ = false;
    ++adapter.reenumerations_;
    unplug(adapter);
    adapter.attached_ = true;
    adapter.absentUntil_ = nowMicroseconds() + std::int64_t{adapter.reenumerateAbsence_} * 1000;
    return false;
}

VirtualBus::Object *VirtualBus::find(Handle handle)
{
    const auto found = objects_.find(handle);
    return found == objects_.end() ? nullptr : found->second.get();
}

Handle VirtualBus::add(std::unique_ptr<Object> object)
{
    const Handle handle = nextHandle_++;
    objects_[handle] = std::move(object);
    return handle;
}

VirtualAdapter *VirtualBus::adapterAt(const std::string &devicePath)
{
    for (auto &adapter : adapters_)
        if (adapter->present() && adapter->config_.devicePath == devicePath)
            return adapter.get();
    return nullptr;
}

VirtualBus::OpenPipe *VirtualBus::livePipe(Handle handle)
{
    auto *pipe = dynamic_cast<OpenPipe *>(find(handle));
    if (!pipe || !pipe->adapter->present() || pipe->generation != pipe->adapter->generation_)
        return nullptr;
    return pipe;
}

int VirtualBus::outstandingRequests() const
{
    int outstanding = 0;
    for (const auto &[handle, object] : objects_)
        if (const auto *slot = dynamic_cast<const Slot *>(object.get()))
            outstanding += slot->outstanding && !slot->completed;
    return outstanding;
}

// The bytes cross the bus unless the plug is pulled first.
bool VirtualBus::moveBytes(VirtualAdapter &adapter, std::size_t bytes)
{
    if (!adapter.unplugBudget_)
        return true;
    if (*adapter.unplugBudget_ < bytes) {
        adapter.unplugBudget_.reset();
        unplug(adapter);
        return false;
    }
    *adapter.unplugBudget_ -= bytes;
    return true;
}

void VirtualBus::spend(std::size_t bytes)
{
    std::int64_t microseconds = timing_.transferMicroseconds;
    if (timing_.bytesPerSecond > 0)
        microseconds += static_cast<std::int64_t>(bytes) * 1'000'000 / timing_.bytesPerSecond;
    time_.pass(microseconds);
}

void VirtualBus::noteLoaderWork(VirtualAdapter &adapter)
{
    // The loader works on what it was sent, and its replies are there once
    // the work is done, whether or not the host is waiting for them.
    const std::int64_t work = adapter.loader().takeWorkMicroseconds();
    if (work > 0)
        adapter.loaderBusyUntil_ = std::max(adapter.loaderBusyUntil_, nowMicroseconds()) + work;
}

// --- DeviceEnumeration ----------------------------------------------------

std::vector<DeviceEntry> VirtualBus::listDevices(DeviceClass deviceClass)
{
    ++listings_;
    std::vector<DeviceEntry> entries;
    if (deviceClass == DeviceClass::usbDevice) {
        for (const auto &adapter : adapters_) {
            if (!adapter->present())
                continue;
            const AdapterConfig &config = adapter->config();
            DeviceEntry entry;
            entry.devicePath = config.devicePath;
            entry.identity = UsbIdentity{config.vendorId, config.productId, config.serialNumber};
            entry.manufacturer = config.manufacturer.empty() ? std::nullopt : std::optional(config.manufacturer);
            entry.description = config.description.empty() ? std::nullopt : std::optional(config.description);
            entries.push_back(std::move(entry));
        }
    }
    for (const VirtualInterface &interface : interfaces_) {
        if (interface.deviceClass != deviceClass)
            continue;
        DeviceEntry entry;
        entry.devicePath = interface.devicePath;
        entry.instanceId = interface.instanceId;
        entry.manufacturer = interface.manufacturer;
        entry.description = interface.description;
        entries.push_back(std::move(entry));
    }
    return entries;
}

// --- DeviceIo -------------------------------------------------------------

OpenOutcome VirtualBus::openPipe(const std::string &devicePath, Pipe which, Handle &pipe)
{
    VirtualAdapter *adapter = adapterAt(devicePath);
    const bool in = which == Pipe::in;
    if (!adapter || adapter->failingPipes_.count(which))
        return OpenOutcome::failed;
    bool &open = in ? adapter->inPipeOpen_ : adapter->outPipeOpen_;
    if (adapter->busy_ || open)
        return OpenOutcome::busy;
    open = true;
    linksOpened_ += in;
    auto object = std::make_unique<OpenPipe>();
    object->adapter = adapter;
    object->generation = adapter->generation_;
    object->in = in;
    pipe = add(std::move(object));
    return OpenOutcome::opened;
}

Handle VirtualBus::createRequestSlot()
{
    if (slotFailuresAt_.erase(++slotsCreated_))
        return invalidHandle;
    return add(std::make_unique<Slot>());
}

void VirtualBus::close(Handle handle)
{
    if (auto *pipe = dynamic_cast<OpenPipe *>(find(handle)))
        if (pipe->generation == pipe->adapter->generation_)
            (pipe->in ? pipe->adapter->inPipeOpen_ : pipe->adapter->outPipeOpen_) = false;
    objects_.erase(handle);
}

bool VirtualBus::startRead(Handle pipeHandle, Handle slotHandle, std::uint8_t *buffer, std::uint32_t count)
{
    OpenPipe *pipe = livePipe(pipeHandle);
    auto *slot = dynamic_cast<Slot *>(find(slotHandle));
    if (!pipe || !slot || !pipe->in)
        return false;
    RequestFaults &faults = pipe->adapter->faults_;
    if (faults.readNotPending > 0) {
        --faults.readNotPending;
        return false;
    }
    requestLog_.emplace_back(true, count);
    *slot = Slot{};
    slot->outstanding = true;
    slot->in = true;
    slot->pipe = pipeHandle;
    slot->buffer = buffer;
    slot->count = count;
    if (faults.readDelay > 0)
        slot->earliestEnd = nowMicroseconds() + std::int64_t{faults.readDelay} * 1000;
    return true;
}

bool VirtualBus::startWrite(Handle pipeHandle, Handle slotHandle, const std::uint8_t *buffer, std::uint32_t count)
{
    OpenPipe *pipe = livePipe(pipeHandle);
    auto *slot = dynamic_cast<Slot *>(find(slotHandle));
    if (!pipe || !slot || pipe->in)
        return false;
    VirtualAdapter &adapter = *pipe->adapter;
    RequestFaults &faults = adapter.faults_;
    if (faults.writeNotPending > 0) {
        --faults.writeNotPending;
        return false;
    }
    requestLog_.emplace_back(false, count);
    *slot = Slot{};
    slot->outstanding = true;
    slot->pipe = pipeHandle;
    slot->count = count;
    if (faults.writesStall)
        return true;
    std::uint32_t accepted = faults.maxCompletion ? std::min(count, faults.maxCompletion) : count;
    if (faults.writeBytesUntilStall) {
        accepted = static_cast<std::uint32_t>(std::min<std::uint64_t>(accepted, *faults.writeBytesUntilStall));
        if (accepted == 0)
            return true;
        *faults.writeBytesUntilStall -= accepted;
    }
    if (faults.writeDelay > 0) {
        slot->earliestEnd = nowMicroseconds() + std::int64_t{faults.writeDelay} * 1000;
        slot->holding = true;
        slot->held.assign(buffer, buffer + accepted);
        return true;
    }
    deliverWrite(*slot, adapter, buffer, accepted);
    return true;
}

void VirtualBus::deliverWrite(Slot &slot, VirtualAdapter &adapter, const std::uint8_t *buffer, std::uint32_t count)
{
    slot.completed = true;
    if (!moveBytes(adapter, count)) {
        slot.failed = true;
        return;
    }
    spend(count);
    if (adapter.chip_)
        adapter.chip_->write(buffer, count);
    else
        adapter.loader().receive(buffer, count);
    noteLoaderWork(adapter);
    slot.bytes = count;
    RequestFaults &faults = adapter.faults_;
    if (faults.writeNotFetchable > 0) {
        --faults.writeNotFetchable;
        slot.failed = true;
    }
}

void VirtualBus::completeRead(Slot &slot, VirtualAdapter &adapter, bool payloadReady)
{
    RequestFaults &faults = adapter.faults_;
    const std::uint32_t room = faults.maxCompletion ? std::min(slot.count, faults.maxCompletion) : slot.count;
    std::vector<std::uint8_t> data(room);
    std::size_t got = 0;
    if (!adapter.chip_)
        got = adapter.loader().take(data.data(), room);
    else if (payloadReady)
        got = adapter.chip_->readPackets(data.data(), room);
    else
        got = adapter.chip_->statusPacket(data.data(), room);
    slot.completed = true;
    if (!moveBytes(adapter, got)) {
        slot.failed = true;
        return;
    }
    spend(got);
    std::memcpy(slot.buffer, data.data(), got);
    slot.bytes = static_cast<std::uint32_t>(got);
    if (faults.readNotFetchable > 0) {
        --faults.readNotFetchable;
        slot.failed = true;
    }
}

bool VirtualBus::passWhileAttached(Slot &slot, std::int64_t microseconds)
{
    // An adapter can be pulled out while a request waits on it (the
    // schedule of a simulated line does that as time goes by). The driver
    // then ends the request with an error at once, rather than at the end
    // of its time-out, so time goes by in short steps here.
    constexpr std::int64_t step = 10'000;
    while (microseconds > 0) {
        const std::int64_t now = std::min(microseconds, step);
        time_.pass(now);
        microseconds -= now;
        if (!livePipe(slot.pipe)) {
            slot.completed = slot.failed = true;
            return false;
        }
    }
    return true;
}

bool VirtualBus::waitRequest(Handle slotHandle, std::uint32_t timeoutMilliseconds)
{
    auto *slot = dynamic_cast<Slot *>(find(slotHandle));
    if (!slot || !slot->outstanding)
        return false;
    if (slot->completed)
        return true;
    auto *pipe = dynamic_cast<OpenPipe *>(find(slot->pipe));
    if (!pipe || !livePipe(slot->pipe)) {
        // The device went away: the driver ends the request with an error.
        slot->completed = slot->failed = true;
        return true;
    }
    VirtualAdapter &adapter = *pipe->adapter;
    std::int64_t left = std::int64_t{timeoutMilliseconds} * 1000;
    const std::int64_t delay = slot->earliestEnd - nowMicroseconds();
    if (delay > left)
        return !passWhileAttached(*slot, left);
    if (delay > 0) {
        if (!passWhileAttached(*slot, delay))
            return true;
        left -= delay;
    }
    if (!slot->in) {
        if (!slot->holding) {
            // A stalled write: the wait takes its whole time-out.
            return !passWhileAttached(*slot, left);
        }
        deliverWrite(*slot, adapter, slot->held.data(), static_cast<std::uint32_t>(slot->held.size()));
        return true;
    }
    noteLoaderWork(adapter);
    const std::int64_t busy = std::max<std::int64_t>(adapter.loaderBusyUntil_ - nowMicroseconds(), 0);
    const bool replyInTime = busy <= left;
    if (replyInTime) {
        if (!passWhileAttached(*slot, busy))
            return true;
        left -= busy;
        if (adapter.loader().available() > 0 || slot->count == 0) {
            completeRead(*slot, adapter, true);
            return true;
        }
    }
    if (adapter.chip_) {
        // With nothing to send the chip still sends its status every
        // latency-timer period.
        const std::int64_t latency = std::int64_t{std::max(adapter.chip_->latencyTimer(), 1)} * 1000;
        if (latency <= left) {
            if (!passWhileAttached(*slot, latency))
                return true;
            completeRead(*slot, adapter, replyInTime);
            return true;
        }
    }
    // Nothing will arrive in time: the wait takes what is left of its time-out.
    return !passWhileAttached(*slot, left);
}

std::optional<std::uint32_t> VirtualBus::requestResult(Handle, Handle slotHandle)
{
    auto *slot = dynamic_cast<Slot *>(find(slotHandle));
    if (!slot || !slot->outstanding || !slot->completed || slot->failed)
        return std::nullopt;
    return slot->bytes;
}

void VirtualBus::cancelRequest(Handle, Handle slotHandle)
{
    auto *slot = dynamic_cast<Slot *>(find(slotHandle));
    if (!slot || !slot->outstanding || slot->completed)
        return;
    ++cancellations_;
    slot->completed = slot->failed = true;
    slot->buffer = nullptr;
}

bool VirtualBus::resetPipe(Handle pipeHandle)
{
    // Only the bridge chip's driver knows the reset code.
    OpenPipe *pipe = livePipe(pipeHandle);
    return pipe && pipe->adapter->chip_ && !pipe->adapter->faults_.resetRefused;
}

bool VirtualBus::vendorRequest(Handle pipeHandle, std::uint32_t request, std::uint32_t value, std::uint32_t index)
{
    OpenPipe *pipe = livePipe(pipeHandle);
    if (!pipe || !pipe->adapter->chip_)
        return false;
    return pipe->adapter->chip_->vendorRequest(static_cast<int>(request), static_cast<int>(value),
                                               static_cast<int>(index));
}

// --- HidAccess ------------------------------------------------------------

Handle VirtualBus::loadLibrary(const char *name)
{
    ++hidLoads_;
    if (!hidLibraryAvailable_ || std::string(name) != "hid.dll")
        return invalidHandle;
    return 0x1;  // libraries are not counted among open handles
}

void *VirtualBus::findFunction(Handle, const char *name)
{
    if (missingHidFunctions_.count(name))
        return nullptr;
    for (const char *const &token : hidFunctionTokens)
        if (std::strcmp(token, name) == 0)
            return const_cast<char **>(&token);
    return nullptr;
}

void VirtualBus::freeLibrary(Handle) { ++hidFrees_; }

Handle VirtualBus::openDevice(const std::string &path, bool shared)
{
    hidOpenAttempts_.push_back(shared);
    for (const VirtualInterface &entry : interfaces_) {
        if (entry.devicePath != path)
            continue;
        if (shared ? entry.hidSharedOpenFails : entry.hidOpenFails)
            return invalidHandle;
        auto device = std::make_unique<HidDevice>();
        device->interface = entry;
        return add(std::move(device));
    }
    return invalidHandle;
}

bool VirtualBus::callStringFunction(void *function, Handle deviceHandle, std::uint16_t *buffer, std::uint32_t bytes)
{
    hidCallSizes_.push_back(bytes);
    auto *device = dynamic_cast<HidDevice *>(find(deviceHandle));
    if (!device || !function)
        return false;
    const std::string name = *static_cast<const char *const *>(function);
    const VirtualInterface &entry = device->interface;
    const std::optional<std::u16string> *text = nullptr;
    if (name == "HidD_GetManufacturerString")
        text = &entry.hidManufacturer;
    else if (name == "HidD_GetProductString")
        text = &entry.hidProduct;
    else if (name == "HidD_GetSerialNumberString")
        text = &entry.hidSerialNumber;
    if (!text || !*text)
        return false;
    // Like the real library: as much as fits, zero-terminated when there is room.
    const std::size_t units = bytes / 2;
    const std::size_t n = std::min(units, (*text)->size());
    std::copy_n((*text)->begin(), n, buffer);
    if (n < units)
        buffer[n] = 0;
    return true;
}

void VirtualBus::closeDevice(Handle device) { objects_.erase(device); }

}  // namespace platform
