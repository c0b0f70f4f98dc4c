#include "platform/device_call.h"

namespace platform {

namespace {

thread_local unsigned lane = 0;

}  // namespace

unsigned callLane() { return lane; }

ScopedCallLane::ScopedCallLane(unsigned newLane) : previous_(lane) { lane = newLane; }

ScopedCallLane::~ScopedCallLane() { lane = previous_; }

void perform(DeviceCall &call, UsbBackend &backend)
{
    DeviceIo &io = backend.io();
    switch (call.operation) {
    case DeviceOperation::list:
        call.entries = backend.enumeration().listDevices(call.deviceClass);
        break;
    case DeviceOperation::open:
        call.outcome = io.openPipe(call.devicePath, call.pipeEnd, call.handle);
        break;
    case DeviceOperation::slot:
        call.handle = io.createRequestSlot();
        break;
    case DeviceOperation::close:
        io.close(call.handle);
        break;
    case DeviceOperation::read:
        call.ok = io.startRead(call.pipe, call.slot, call.readBuffer, call.size);
        break;
    case DeviceOperation::write:
        call.ok = io.startWrite(call.pipe, call.slot, call.writeData, call.size);
        break;
    case DeviceOperation::wait:
        call.waited = io.waitRequest(call.slot, call.timeoutMilliseconds);
        break;
    case DeviceOperation::result:
        call.bytes = io.requestResult(call.pipe, call.slot);
        break;
    case DeviceOperation::cancel:
        io.cancelRequest(call.pipe, call.slot);
        break;
    case DeviceOperation::reset:
        call.ok = io.resetPipe(call.pipe);
        break;
    case DeviceOperation::vendor:
        call.ok = io.vendorRequest(call.pipe, call.request, call.value, call.index);
        break;
    case DeviceOperation::stop:
        break;
    }
}

const char *DeviceCallBackend::startCallName() const
{
    return named_ ? named_->startCallName() : DeviceIo::startCallName();
}

const char *DeviceCallBackend::resultCallName() const
{
    return named_ ? named_->resultCallName() : DeviceIo::resultCallName();
}

std::vector<DeviceEntry> DeviceCallBackend::listDevices(DeviceClass deviceClass)
{
    DeviceCall call(DeviceOperation::list);
    call.deviceClass = deviceClass;
    answer(call);
    return std::move(call.entries);
}

OpenOutcome DeviceCallBackend::openPipe(const std::string &devicePath, Pipe pipe, Handle &handle)
{
    DeviceCall call(DeviceOperation::open);
    call.devicePath = devicePath;
    call.pipeEnd = pipe;
    call.handle = handle;
    answer(call);
    handle = call.handle;
    return call.outcome;
}

Handle DeviceCallBackend::createRequestSlot()
{
    DeviceCall call(DeviceOperation::slot);
    answer(call);
    return call.handle;
}

void DeviceCallBackend::close(Handle handle)
{
    DeviceCall call(DeviceOperation::close);
    call.handle = handle;
    answer(call);
}

bool DeviceCallBackend::startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count)
{
    DeviceCall call(DeviceOperation::read);
    call.pipe = pipe;
    call.slot = slot;
    call.readBuffer = buffer;
    call.size = count;
    answer(call);
    return call.ok;
}

bool DeviceCallBackend::startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer, std::uint32_t count)
{
    DeviceCall call(DeviceOperation::write);
    call.pipe = pipe;
    call.slot = slot;
    call.writeData = buffer;
    call.size = count;
    answer(call);
    return call.ok;
}

WaitOutcome DeviceCallBackend::waitRequest(Handle slot, std::uint32_t timeoutMilliseconds)
{
    DeviceCall call(DeviceOperation::wait);
    call.slot = slot;
    call.timeoutMilliseconds = timeoutMilliseconds;
    answer(call);
    return call.waited;
}

std::optional<std::uint32_t> DeviceCallBackend::requestResult(Handle pipe, Handle slot)
{
    DeviceCall call(DeviceOperation::result);
    call.pipe = pipe;
    call.slot = slot;
    answer(call);
    return call.bytes;
}

void DeviceCallBackend::cancelRequest(Handle pipe, Handle slot)
{
    DeviceCall call(DeviceOperation::cancel);
    call.pipe = pipe;
    call.slot = slot;
    answer(call);
}

bool DeviceCallBackend::resetPipe(Handle pipe)
{
    DeviceCall call(DeviceOperation::reset);
    call.pipe = pipe;
    answer(call);
    return call.ok;
}

bool DeviceCallBackend::vendorRequest(Handle pipe, std::uint32_t request, std::uint32_t value, std::uint32_t index)
{
    DeviceCall call(DeviceOperation::vendor);
    call.pipe = pipe;
    call.request = request;
    call.value = value;
    call.index = index;
    answer(call);
    return call.ok;
}

}  // namespace platform
