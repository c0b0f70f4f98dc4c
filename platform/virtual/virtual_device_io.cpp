#include "platform/virtual/virtual_device_io.h"

#include "platform/request_wait.h"
#include "platform/stop_signals.h"

#include <algorithm>
#include <cstring>

#include "platform/virtual/virtual_bus.h"

namespace platform {

struct VirtualDeviceIo::Object {
    virtual ~Object() = default;
};

struct VirtualDeviceIo::OpenPipe : Object {
    VirtualDevice *device;
    int generation;
    bool in;
};

struct VirtualDeviceIo::Slot : Object {
    bool outstanding = false;
    bool completed = false;
    bool failed = false;
    bool in = false;
    Handle pipe = invalidHandle;
    std::uint8_t *buffer = nullptr;
    std::uint32_t count = 0;
    std::uint32_t bytes = 0;
    std::int64_t earliestEnd = 0;  // device time; a slow device's requests end no sooner
    bool holding = false;          // a slow device's write, sent when it ends
    std::vector<std::uint8_t> held;
};

VirtualDeviceIo::VirtualDeviceIo(VirtualBus &bus) : bus_(bus) {}
VirtualDeviceIo::~VirtualDeviceIo() = default;

VirtualDeviceIo::Object *VirtualDeviceIo::find(Handle handle)
{
    const auto found = objects_.find(handle);
    return found == objects_.end() ? nullptr : found->second.get();
}

VirtualDeviceIo::Slot *VirtualDeviceIo::slotAt(Handle handle) { return dynamic_cast<Slot *>(find(handle)); }

VirtualDeviceIo::OpenPipe *VirtualDeviceIo::livePipe(Handle handle)
{
    auto *pipe = dynamic_cast<OpenPipe *>(find(handle));
    if (!pipe || !pipe->device->present() || pipe->generation != pipe->device->generation_)
        return nullptr;
    return pipe;
}

bool VirtualDeviceIo::moveBytes(VirtualDevice &device, std::size_t bytes)
{
    if (!device.unplugBudget_)
        return true;
    if (*device.unplugBudget_ < bytes) {
        device.unplugBudget_.reset();
        bus_.detach(device);
        return false;
    }
    *device.unplugBudget_ -= bytes;
    return true;
}

void VirtualDeviceIo::noteWork(VirtualDevice &device)
{
    // The device works on what it was sent, and its replies are there once
    // the work is done, whether or not the host is waiting for them.
    const std::int64_t work = device.peer().takeWorkMicroseconds();
    if (work > 0)
        device.replyReadyAt_ = std::max(device.replyReadyAt_, bus_.nowMicroseconds()) + work;
}

OpenOutcome VirtualDeviceIo::openPipe(const std::string &devicePath, Pipe which, Handle &pipe)
{
    const BusGuard guard(bus_.lock());
    VirtualDevice *device = bus_.deviceAt(devicePath);
    const bool in = which == Pipe::in;
    if (!device || device->failingPipes_.count(which))
        return OpenOutcome::failed;
    if (device->accessDenied_)
        return OpenOutcome::accessDenied;
    bool &open = in ? device->inPipeOpen_ : device->outPipeOpen_;
    if (device->busy_ || open)
        return OpenOutcome::busy;
    open = true;
    auto object = std::make_unique<OpenPipe>();
    object->device = device;
    object->generation = device->generation_;
    object->in = in;
    pipe = bus_.issueHandle();
    objects_[pipe] = std::move(object);
    return OpenOutcome::opened;
}

Handle VirtualDeviceIo::createRequestSlot()
{
    const BusGuard guard(bus_.lock());
    const Handle slot = bus_.issueHandle();
    objects_[slot] = std::make_unique<Slot>();
    return slot;
}

void VirtualDeviceIo::close(Handle handle)
{
    const BusGuard guard(bus_.lock());
    if (auto *pipe = dynamic_cast<OpenPipe *>(find(handle)))
        if (pipe->generation == pipe->device->generation_)
            (pipe->in ? pipe->device->inPipeOpen_ : pipe->device->outPipeOpen_) = false;
    objects_.erase(handle);
}

VirtualDevice *VirtualDeviceIo::pendingRequest(Handle pipeHandle, Handle slotHandle, bool in, std::uint32_t count,
                                              Slot *&slot)
{
    OpenPipe *pipe = livePipe(pipeHandle);
    slot = slotAt(slotHandle);
    if (!pipe || !slot || pipe->in != in)
        return nullptr;
    RequestFaults &faults = pipe->device->faults_;
    int &notPending = in ? faults.readNotPending : faults.writeNotPending;
    if (notPending > 0) {
        --notPending;
        return nullptr;
    }
    *slot = Slot{};
    slot->outstanding = true;
    slot->in = in;
    slot->pipe = pipeHandle;
    slot->count = count;
    return pipe->device;
}

bool VirtualDeviceIo::startRead(Handle pipeHandle, Handle slotHandle, std::uint8_t *buffer, std::uint32_t count)
{
    const BusGuard guard(bus_.lock());
    Slot *slot = nullptr;
    const VirtualDevice *device = pendingRequest(pipeHandle, slotHandle, true, count, slot);
    if (!device)
        return false;
    slot->buffer = buffer;
    if (device->faults_.readDelay > 0)
        slot->earliestEnd = bus_.nowMicroseconds() + std::int64_t{device->faults_.readDelay} * 1000;
    return true;
}

bool VirtualDeviceIo::startWrite(Handle pipeHandle, Handle slotHandle, const std::uint8_t *buffer, std::uint32_t count)
{
    const BusGuard guard(bus_.lock());
    Slot *slot = nullptr;
    VirtualDevice *device = pendingRequest(pipeHandle, slotHandle, false, count, slot);
    if (!device)
        return false;
    RequestFaults &faults = device->faults_;
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
        slot->earliestEnd = bus_.nowMicroseconds() + std::int64_t{faults.writeDelay} * 1000;
        slot->holding = true;
        slot->held.assign(buffer, buffer + accepted);
        return true;
    }
    deliverWrite(*slot, *device, buffer, accepted);
    return true;
}

void VirtualDeviceIo::deliverWrite(Slot &slot, VirtualDevice &device, const std::uint8_t *buffer, std::uint32_t count)
{
    slot.completed = true;
    RequestFaults &faults = device.faults_;
    if (faults.writeBytesUntilFailure) {
        if (*faults.writeBytesUntilFailure < count) {
            faults.writeBytesUntilFailure.reset();
            slot.failed = true;
            return;
        }
        *faults.writeBytesUntilFailure -= count;
    }
    if (!moveBytes(device, count)) {
        slot.failed = true;
        return;
    }
    bus_.spend(count);
    device.peer().receive(buffer, count);
    noteWork(device);
    slot.bytes = count;
    if (faults.writeNotFetchable > 0) {
        --faults.writeNotFetchable;
        slot.failed = true;
    }
}

void VirtualDeviceIo::completeRead(Slot &slot, VirtualDevice &device, bool replyReady)
{
    RequestFaults &faults = device.faults_;
    const std::uint32_t room = faults.maxCompletion ? std::min(slot.count, faults.maxCompletion) : slot.count;
    std::vector<std::uint8_t> data(room);
    const std::size_t got = device.peer().send(data.data(), room, replyReady);
    slot.completed = true;
    if (!moveBytes(device, got)) {
        slot.failed = true;
        return;
    }
    bus_.spend(got);
    std::memcpy(slot.buffer, data.data(), got);
    slot.bytes = static_cast<std::uint32_t>(got);
    if (faults.readNotFetchable > 0) {
        --faults.readNotFetchable;
        slot.failed = true;
    }
}

VirtualDeviceIo::Passed VirtualDeviceIo::passWhileAttached(Slot &slot, std::int64_t microseconds, WaitTally &tally)
{
    // A device can be pulled out while a request waits on it (the schedule
    // of a simulated line does that as time goes by). The driver then ends
    // the request with an error at once, rather than at the end of its
    // time-out, so time goes by in short steps here; a stop the user asks
    // for ends the wait between two of them.
    constexpr std::int64_t step = 10'000;
    while (microseconds > 0) {
        if (stopRequest() != 0)
            return Passed::stopped;
        const std::int64_t now = std::min(microseconds, step);
        bus_.pass(now);
        microseconds -= now;
        tally.passed(static_cast<std::uint32_t>(now / 1000));
        if (!livePipe(slot.pipe)) {
            slot.completed = slot.failed = true;
            return Passed::detached;
        }
    }
    return Passed::all;
}

WaitOutcome VirtualDeviceIo::waitRequest(Handle slotHandle, std::uint32_t timeoutMilliseconds)
{
    const BusGuard guard(bus_.lock());
    Slot *slot = slotAt(slotHandle);
    if (!slot || !slot->outstanding)
        return WaitOutcome::timedOut;
    if (slot->completed)
        return WaitOutcome::completed;
    OpenPipe *pipe = livePipe(slot->pipe);
    if (!pipe) {
        // The device went away: the driver ends the request with an error.
        slot->completed = slot->failed = true;
        return WaitOutcome::completed;
    }
    WaitTally tally(timeoutMilliseconds);
    // How a wait ends that time cut short: the device went away (its
    // request ends) or a stop came.
    const auto cutShort = [](Passed passed) {
        return passed == Passed::detached ? WaitOutcome::completed : WaitOutcome::stopped;
    };
    // Time that passes to its end is a time-out, unless cut short.
    const auto passAll = [&](std::int64_t microseconds) {
        const Passed passed = passWhileAttached(*slot, microseconds, tally);
        return passed == Passed::all ? WaitOutcome::timedOut : cutShort(passed);
    };
    VirtualDevice &device = *pipe->device;
    std::int64_t left = std::int64_t{timeoutMilliseconds} * 1000;
    const std::int64_t delay = slot->earliestEnd - bus_.nowMicroseconds();
    if (delay > left)
        return passAll(left);
    if (delay > 0) {
        if (const Passed passed = passWhileAttached(*slot, delay, tally); passed != Passed::all)
            return cutShort(passed);
        left -= delay;
    }
    if (!slot->in) {
        if (!slot->holding) {
            // A stalled write: the wait takes its whole time-out.
            return passAll(left);
        }
        deliverWrite(*slot, device, slot->held.data(), static_cast<std::uint32_t>(slot->held.size()));
        return WaitOutcome::completed;
    }
    noteWork(device);
    const std::int64_t busy = std::max<std::int64_t>(device.replyReadyAt_ - bus_.nowMicroseconds(), 0);
    const bool replyInTime = busy <= left;
    if (replyInTime) {
        if (const Passed passed = passWhileAttached(*slot, busy, tally); passed != Passed::all)
            return cutShort(passed);
        left -= busy;
        if (device.peer().hasReply() || slot->count == 0) {
            completeRead(*slot, device, true);
            return WaitOutcome::completed;
        }
    }
    if (const std::int64_t idle = device.peer().idlePacketMicroseconds(); idle > 0 && idle <= left) {
        // With nothing to say the device still sends a packet this often.
        if (const Passed passed = passWhileAttached(*slot, idle, tally); passed != Passed::all)
            return cutShort(passed);
        completeRead(*slot, device, replyInTime);
        return WaitOutcome::completed;
    }
    // Nothing will arrive in time: the wait takes what is left of its time-out.
    return passAll(left);
}

std::optional<std::uint32_t> VirtualDeviceIo::requestResult(Handle, Handle slotHandle)
{
    const BusGuard guard(bus_.lock());
    const Slot *slot = slotAt(slotHandle);
    if (!slot || !slot->outstanding || !slot->completed || slot->failed)
        return std::nullopt;
    return slot->bytes;
}

void VirtualDeviceIo::cancelRequest(Handle, Handle slotHandle)
{
    const BusGuard guard(bus_.lock());
    Slot *slot = slotAt(slotHandle);
    if (!slot || !slot->outstanding || slot->completed)
        return;
    slot->completed = slot->failed = true;
    slot->buffer = nullptr;
}

bool VirtualDeviceIo::resetPipe(Handle pipeHandle)
{
    const BusGuard guard(bus_.lock());
    OpenPipe *pipe = livePipe(pipeHandle);
    return pipe && !pipe->device->faults_.resetRefused && pipe->device->peer().resetPipe();
}

bool VirtualDeviceIo::vendorRequest(Handle pipeHandle, std::uint32_t request, std::uint32_t value, std::uint32_t index)
{
    const BusGuard guard(bus_.lock());
    OpenPipe *pipe = livePipe(pipeHandle);
    return pipe && pipe->device->peer().vendorRequest(request, value, index);
}

}  // namespace platform
