#include "tests/platform/win32/injecting_device_io.h"

platform::OpenOutcome InjectingDeviceIo::openPipe(const std::string &fileName, platform::Handle &pipe)
{
    for (const auto &[pipeName, outcome] : openOutcomes_) {
        if (fileName.size() >= pipeName.size() &&
            fileName.compare(fileName.size() - pipeName.size(), pipeName.size(), pipeName) == 0) {
            pipe = platform::invalidHandle;
            return outcome;
        }
    }
    const platform::OpenOutcome outcome = real_.openPipe(fileName, pipe);
    if (outcome == platform::OpenOutcome::opened)
        open_.insert(pipe);
    return outcome;
}

platform::Handle InjectingDeviceIo::createRequestSlot()
{
    if (++slotsAsked_ == failingSlot_)
        return platform::invalidHandle;
    const platform::Handle slot = real_.createRequestSlot();
    if (slot != platform::invalidHandle)
        open_.insert(slot);
    return slot;
}

void InjectingDeviceIo::close(platform::Handle handle)
{
    open_.erase(handle);
    real_.close(handle);
}

bool InjectingDeviceIo::startRead(platform::Handle pipe, platform::Handle slot, std::uint8_t *buffer,
                                  std::uint32_t count)
{
    const bool pending = real_.startRead(pipe, slot, buffer, count);
    if (pending)
        outstanding_.insert(slot);
    return pending;
}

bool InjectingDeviceIo::startWrite(platform::Handle pipe, platform::Handle slot, const std::uint8_t *buffer,
                                   std::uint32_t count)
{
    const bool pending = real_.startWrite(pipe, slot, buffer, count);
    if (pending)
        outstanding_.insert(slot);
    return pending;
}

bool InjectingDeviceIo::waitRequest(platform::Handle slot, std::uint32_t timeoutMilliseconds)
{
    return real_.waitRequest(slot, timeoutMilliseconds);
}

std::optional<std::uint32_t> InjectingDeviceIo::requestResult(platform::Handle pipe, platform::Handle slot)
{
    const std::optional<std::uint32_t> bytes = real_.requestResult(pipe, slot);
    if (bytes)
        outstanding_.erase(slot);
    return bytes;
}

void InjectingDeviceIo::cancelRequest(platform::Handle pipe, platform::Handle slot)
{
    real_.cancelRequest(pipe, slot);
    outstanding_.erase(slot);
}

bool InjectingDeviceIo::deviceControl(platform::Handle pipe, platform::ControlCode code, const std::uint8_t *input,
                                      std::uint32_t inputSize)
{
    if (control_)
        return control_(code, input, inputSize);
    return real_.deviceControl(pipe, code, input, inputSize);
}
