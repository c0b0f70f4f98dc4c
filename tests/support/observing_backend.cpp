#include "tests/support/observing_backend.h"

using platform::DeviceOperation;

ObservingBackend::ObservingBackend(std::shared_ptr<platform::UsbBackend> inner)
    : inner_(std::move(inner)), hid_(inner_->hid(), open_)
{
    nameCallsAs(&inner_->io());
}

void ObservingBackend::answer(platform::DeviceCall &call)
{
    if (!injected(call))
        platform::perform(call, *inner_);
    count(call);
}

bool ObservingBackend::injected(platform::DeviceCall &call)
{
    switch (call.operation) {
    case DeviceOperation::open:
        if (const auto injected = openOutcomes_.find(call.pipeEnd); injected != openOutcomes_.end()) {
            call.handle = platform::invalidHandle;
            call.outcome = injected->second;
            return true;
        }
        return false;
    case DeviceOperation::slot:
        return failingSlots_.erase(++slotsAsked_) > 0;  // the call's handle stays invalid
    case DeviceOperation::reset:
        if (control_)
            call.ok = control_({true, 0, 0, 0});
        return bool(control_);
    case DeviceOperation::vendor:
        if (control_)
            call.ok = control_({false, call.request, call.value, call.index});
        return bool(control_);
    default:
        return false;
    }
}

void ObservingBackend::count(const platform::DeviceCall &call)
{
    switch (call.operation) {
    case DeviceOperation::list:
        ++listings_;
        break;
    case DeviceOperation::open:
        if (call.outcome == platform::OpenOutcome::opened) {
            open_.insert(call.handle);
            linksOpened_ += call.pipeEnd == platform::Pipe::in;
        }
        break;
    case DeviceOperation::slot:
        if (call.handle != platform::invalidHandle)
            open_.insert(call.handle);
        break;
    case DeviceOperation::close:
        open_.erase(call.handle);
        break;
    case DeviceOperation::read:
    case DeviceOperation::write:
        if (call.ok) {
            outstanding_.insert(call.slot);
            requestLog_.emplace_back(call.operation == DeviceOperation::read, call.size);
        }
        break;
    case DeviceOperation::wait:
        if (call.waited == platform::WaitOutcome::completed)
            outstanding_.erase(call.slot);
        break;
    case DeviceOperation::result:
        if (call.bytes)
            outstanding_.erase(call.slot);
        break;
    case DeviceOperation::cancel:
        cancellations_ += static_cast<int>(outstanding_.erase(call.slot));
        break;
    default:
        break;
    }
}

platform::Handle ObservingBackend::CountingHid::loadLibrary(const char *name)
{
    ++loads;
    return inner->loadLibrary(name);
}

void *ObservingBackend::CountingHid::findFunction(platform::Handle library, const char *name)
{
    return inner->findFunction(library, name);
}

void ObservingBackend::CountingHid::freeLibrary(platform::Handle library)
{
    ++frees;
    inner->freeLibrary(library);
}

platform::Handle ObservingBackend::CountingHid::openDevice(const std::string &path, bool shared)
{
    openAttempts.push_back(shared);
    const platform::Handle device = inner->openDevice(path, shared);
    if (device != platform::invalidHandle)
        open.insert(device);
    return device;
}

bool ObservingBackend::CountingHid::callStringFunction(void *function, platform::Handle device,
                                                        std::uint16_t *buffer, std::uint32_t bytes)
{
    stringCallSizes.push_back(bytes);
    return inner->callStringFunction(function, device, buffer, bytes);
}

void ObservingBackend::CountingHid::closeDevice(platform::Handle device)
{
    open.erase(device);
    inner->closeDevice(device);
}
