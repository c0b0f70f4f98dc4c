#pragma once

#include <array>
#include <cstdint>

#include "platform/usb_backend.h"

namespace platform {

// The adapter driver's pipe files ("<device path>\PIPE00" from the adapter,
// "\PIPE01" to it) opened for overlapped I/O, and its two control codes.
// Pipe and request slot handles point to records of this backend, so that
// close() can release either.
class Win32DeviceIo : public DeviceIo {
public:
    OpenOutcome openPipe(const std::string &devicePath, Pipe pipe, Handle &handle) override;
    Handle createRequestSlot() override;
    void close(Handle handle) override;

    bool startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count) override;
    bool startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer,
                    std::uint32_t count) override;
    WaitOutcome waitRequest(Handle slot, std::uint32_t timeoutMilliseconds) override;
    std::optional<std::uint32_t> requestResult(Handle pipe, Handle slot) override;
    void cancelRequest(Handle pipe, Handle slot) override;

    bool resetPipe(Handle pipe) override;
    bool vendorRequest(Handle pipe, std::uint32_t request, std::uint32_t value, std::uint32_t index) override;
};

// The driver's control codes.
inline constexpr std::uint32_t resetPipeCode = 0x0022000C;      // input: one byte of value 0
inline constexpr std::uint32_t vendorRequestCode = 0x00220010;  // input: the request block

// The block the driver takes for a vendor request: 0, request, value and
// index, each 32-bit little-endian.
std::array<std::uint8_t, 16> vendorRequestBlock(std::uint32_t request, std::uint32_t value, std::uint32_t index);

}  // namespace platform
