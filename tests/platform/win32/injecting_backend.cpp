#include "tests/platform/win32/injecting_backend.h"

platform::OpenOutcome InjectingBackend::openPipe(const std::string &devicePath, platform::Pipe pipe,
                                                 platform::Handle &handle)
{
    if (const auto injected = openOutcomes_.find(pipe); injected != openOutcomes_.end()) {
        handle = platform::invalidHandle;
        return injected->second;
    }
    const platform::OpenOutcome outcome = realIo().openPipe(devicePath, pipe, handle);
    if (outcome == platform::OpenOutcome::opened)
        open_.insert(handle);
    return outcome;
}

platform::Handle InjectingBackend::createRequestSlot()
{
    if (++slotsAsked_ == failingSlot_)
        return platform::invalidHandle;
    const platform::Handle slot = realIo().createRequestSlot();
    if (slot != platform::invalidHandle)
        open_.insert(slot);
    return slot;
}

void InjectingBackend::close(platform::Handle handle)
{
    open_.erase(handle);
    realIo().close(handle);
}

bool InjectingBackend::startRead(platform::Handle pipe, platform::Handle slot, std::uint8_t *buffer,
                                 std::uint32_t count)
{
    const bool pending = realIo().startRead(pipe, slot, buffer, count);
    if (pending)
        outstanding_.insert(slot);
    return pending;
}

bool InjectingBackend::startWrite(platform::Handle pipe, platform::Handle slot, const std::uint8_t *buffer,
                                  std::uint32_t count)
{
    const bool pending = realIo().startWrite(pipe, slot, buffer, count);
    if (pending)
        outstanding_.insert(slot);
    return pending;
}

bool InjectingBackend::waitRequest(platform::Handle slot, std::uint32_t timeoutMilliseconds)
{
    return realIo().waitRequest(slot, timeoutMilliseconds);
}

std::optional<std::uint32_t> InjectingBackend::requestResult(platform::Handle pipe, platform::Handle slot)
{
    const std::optional<std::uint32_t> bytes = realIo().requestResult(pipe, slot);
    if (bytes)
        outstanding_.erase(slot);
    return bytes;
}

void InjectingBackend::cancelRequest(platform::Handle pipe, platform::Handle slot)
{
    realIo().cancelRequest(pipe, slot);
    outstanding_.erase(slot);
}

bool InjectingBackend::resetPipe(platform::Handle pipe)
{
    if (control_)
        return control_({true, 0, 0, 0});
    return realIo().resetPipe(pipe);
}

bool InjectingBackend::vendorRequest(platform::Handle pipe, std::uint32_t request, std::uint32_t value,
                                     std::uint32_t index)
{
    if (control_)
        return control_({false, request, value, index});
    return realIo().vendorRequest(pipe, request, value, index);
}
