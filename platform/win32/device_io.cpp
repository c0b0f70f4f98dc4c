#include "platform/win32/device_io.h"

#include "platform/request_wait.h"

#include <windows.h>

#include "platform/byte_order.h"
#include "platform/win32/handle_cast.h"

namespace platform {

namespace {

class IoRecord {
public:
    IoRecord() = default;
    IoRecord(const IoRecord &) = delete;
    IoRecord &operator=(const IoRecord &) = delete;
    virtual ~IoRecord() = default;
};

class PipeFile : public IoRecord {
public:
    explicit PipeFile(HANDLE opened) : file(opened) {}
    ~PipeFile() override { CloseHandle(file); }
    const HANDLE file;
};

// One overlapped record with its auto-reset event. The record lives on the
// heap at a fixed address because the system writes the request's end into
// it, possibly after the call that issued the request has returned.
class RequestSlot : public IoRecord {
public:
    explicit RequestSlot(HANDLE event) { overlapped.hEvent = event; }
    ~RequestSlot() override { CloseHandle(overlapped.hEvent); }
    OVERLAPPED overlapped = {};

    // Each request starts from a clean record; pipes have no file position,
    // so the offset stays 0.
    OVERLAPPED *fresh()
    {
        const HANDLE event = overlapped.hEvent;
        overlapped = {};
        overlapped.hEvent = event;
        return &overlapped;
    }
};

HANDLE fileOf(Handle pipe) { return static_cast<PipeFile &>(win32::recordOf<IoRecord>(pipe)).file; }

RequestSlot &slotOf(Handle slot) { return static_cast<RequestSlot &>(win32::recordOf<IoRecord>(slot)); }

// An overlapped request that completes at once still signals its event and
// leaves its result to be fetched, so it counts as pending: the caller's wait
// and fetch then pick it up. Calling it a failure would drop bytes already
// read into the caller's buffer.
bool wentPending(BOOL started) { return started || GetLastError() == ERROR_IO_PENDING; }

}  // namespace

OpenOutcome Win32DeviceIo::openPipe(const std::string &devicePath, Pipe which, Handle &pipe)
{
    const std::string fileName = devicePath + (which == Pipe::in ? "\\PIPE00" : "\\PIPE01");
    const HANDLE file = CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        pipe = invalidHandle;
        // Only the driver's busy answer means another program holds the
        // adapter. Access denied is not told apart: its remedy (permission
        // rules for the device node) belongs to other systems, and here it
        // is just one more reason the driver cannot be opened.
        return GetLastError() == ERROR_BUSY ? OpenOutcome::busy : OpenOutcome::failed;
    }
    pipe = win32::handleOf<IoRecord>(new PipeFile(file));
    return OpenOutcome::opened;
}

Handle Win32DeviceIo::createRequestSlot()
{
    const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event)
        return invalidHandle;
    return win32::handleOf<IoRecord>(new RequestSlot(event));
}

void Win32DeviceIo::close(Handle handle)
{
    if (handle != invalidHandle)
        delete &win32::recordOf<IoRecord>(handle);
}

bool Win32DeviceIo::startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count)
{
    return wentPending(ReadFile(fileOf(pipe), buffer, count, nullptr, slotOf(slot).fresh()));
}

bool Win32DeviceIo::startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer,
                               std::uint32_t count)
{
    return wentPending(WriteFile(fileOf(pipe), buffer, count, nullptr, slotOf(slot).fresh()));
}

WaitOutcome Win32DeviceIo::waitRequest(Handle slot, std::uint32_t timeoutMilliseconds)
{
    const HANDLE event = slotOf(slot).overlapped.hEvent;
    return waitInSteps(
        timeoutMilliseconds, [] { return static_cast<std::uint32_t>(GetTickCount()); },
        [&](std::uint32_t step) { return WaitForSingleObject(event, step) == WAIT_OBJECT_0; });
}

std::optional<std::uint32_t> Win32DeviceIo::requestResult(Handle pipe, Handle slot)
{
    DWORD bytes = 0;
    if (!GetOverlappedResult(fileOf(pipe), &slotOf(slot).overlapped, &bytes, FALSE))
        return std::nullopt;
    return bytes;
}

void Win32DeviceIo::cancelRequest(Handle pipe, Handle slot)
{
    const HANDLE file = fileOf(pipe);
    OVERLAPPED &overlapped = slotOf(slot).overlapped;
    // A request that has ended meanwhile leaves nothing to cancel
    // (ERROR_NOT_FOUND); either way its end is collected with a wait, and
    // only then may the caller's buffer go.
    CancelIoEx(file, &overlapped);
    DWORD bytes = 0;
    GetOverlappedResult(file, &overlapped, &bytes, TRUE);
}

namespace {

// A synchronous control request to the driver on the pipe's file.
bool deviceControl(HANDLE file, std::uint32_t code, const std::uint8_t *input, std::uint32_t inputSize)
{
    // The pipe is open for overlapped I/O, so even a synchronous control
    // request needs an overlapped record of its own to wait on; the read and
    // write slots may have requests outstanding.
    const HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!done)
        return false;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = done;
    DWORD returned = 0;
    BOOL succeeded = DeviceIoControl(file, code, const_cast<std::uint8_t *>(input),
                                     inputSize, nullptr, 0, &returned, &overlapped);
    if (!succeeded && GetLastError() == ERROR_IO_PENDING)
        succeeded = GetOverlappedResult(file, &overlapped, &returned, TRUE);
    CloseHandle(done);
    return succeeded != FALSE;
}

}  // namespace

bool Win32DeviceIo::resetPipe(Handle pipe)
{
    const std::uint8_t zero = 0;
    return deviceControl(fileOf(pipe), resetPipeCode, &zero, 1);
}

bool Win32DeviceIo::vendorRequest(Handle pipe, std::uint32_t request, std::uint32_t value, std::uint32_t index)
{
    const std::array<std::uint8_t, 16> block = vendorRequestBlock(request, value, index);
    return deviceControl(fileOf(pipe), vendorRequestCode, block.data(), static_cast<std::uint32_t>(block.size()));
}

std::array<std::uint8_t, 16> vendorRequestBlock(std::uint32_t request, std::uint32_t value, std::uint32_t index)
{
    std::array<std::uint8_t, 16> block{};
    putLittleEndian32(block.data() + 4, request);
    putLittleEndian32(block.data() + 8, value);
    putLittleEndian32(block.data() + 12, index);
    return block;
}

}  // namespace platform
