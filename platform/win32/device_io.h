#pragma once

#include "platform/platform.h"

namespace platform {

// Pipe files opened for overlapped I/O. Pipe and request slot handles point
// to records of this backend, so that close() can release either.
class Win32DeviceIo : public DeviceIo {
public:
    OpenOutcome openPipe(const std::string &fileName, Handle &pipe) override;
    Handle createRequestSlot() override;
    void close(Handle handle) override;

    bool startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count) override;
    bool startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer,
                    std::uint32_t count) override;
    bool waitRequest(Handle slot, std::uint32_t timeoutMilliseconds) override;
    std::optional<std::uint32_t> requestResult(Handle pipe, Handle slot) override;
    void cancelRequest(Handle pipe, Handle slot) override;

    bool deviceControl(Handle pipe, ControlCode code, const std::uint8_t *input,
                       std::uint32_t inputSize) override;
};

}  // namespace platform
