#include "tests/platform/win32/pipe_driver_stand_in.h"

#include <atomic>
#include <stdexcept>

namespace {

using simulation::SimulatedLoader;

constexpr DWORD pipeBufferBytes = 1 << 17;
constexpr DWORD serverReadBytes = 1 << 16;
constexpr std::size_t rawReadBytes = 4096;  // what the FTDI link asks for at a time

std::string uniqueDevicePath()
{
    static std::atomic<int> next{0};
    return "\\\\.\\pipe\\vantrel-test-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(next++);
}

HANDLE createServerPipe(const std::string &name)
{
    const HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                         1, pipeBufferBytes, pipeBufferBytes, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create pipe " + name + ": error " + std::to_string(GetLastError()));
    return pipe;
}

// An overlapped record with a manual-reset event of its own, for the server's
// requests; each Win32 call resets the event as it starts.
struct ServerRequest {
    OVERLAPPED overlapped = {};
    ServerRequest() { overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~ServerRequest() { CloseHandle(overlapped.hEvent); }
    ServerRequest(const ServerRequest &) = delete;
    ServerRequest &operator=(const ServerRequest &) = delete;
};

}  // namespace

PipeDriverStandIn::PipeDriverStandIn(SimulatedLoader &loader, Framing framing)
    : loader_(loader), chip_(loader), framing_(framing), devicePath_(uniqueDevicePath())
{
    fromDevice_ = createServerPipe(devicePath_ + "\\PIPE00");
    try {
        toDevice_ = createServerPipe(devicePath_ + "\\PIPE01");
    } catch (...) {
        CloseHandle(fromDevice_);
        throw;
    }
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    release_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    server_ = std::thread([this] { serve(); });
}

PipeDriverStandIn::~PipeDriverStandIn()
{
    SetEvent(stop_);
    server_.join();
    CloseHandle(fromDevice_);
    CloseHandle(toDevice_);
    CloseHandle(stop_);
    CloseHandle(release_);
}

UsbDeviceInfo PipeDriverStandIn::record() const
{
    UsbDeviceInfo record;
    record.vendorId = 0x131B;
    record.productId = framing_ == Framing::ftdi ? 3 : 16;
    record.serialNumber = "VT0000001";
    record.devicePath = devicePath_;
    return record;
}

void PipeDriverStandIn::withLoader(
    const std::function<void(SimulatedLoader &, simulation::FtdiChip &)> &use)
{
    std::lock_guard<std::mutex> lock(mutex_);
    use(loader_, chip_);
}

void PipeDriverStandIn::holdReplies()
{
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = true;
}

void PipeDriverStandIn::releaseReplies()
{
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = false;
    SetEvent(release_);
}

bool PipeDriverStandIn::answerControl(const ControlRequest &control)
{
    if (control.resetPipe)
        return true;
    // Purging the chip's receive buffer cannot take back bytes already
    // written into PIPE00; the loader protocol purges only when nothing is
    // in flight.
    std::lock_guard<std::mutex> lock(mutex_);
    return chip_.vendorRequest(static_cast<int>(control.request), static_cast<int>(control.value),
                               static_cast<int>(control.index));
}

void PipeDriverStandIn::disconnectHost()
{
    DisconnectNamedPipe(fromDevice_);
    DisconnectNamedPipe(toDevice_);
}

void PipeDriverStandIn::serve()
{
    while (connectHost())
        serveHost();
}

bool PipeDriverStandIn::connectHost()
{
    for (HANDLE pipe : {fromDevice_, toDevice_}) {
        for (;;) {
            if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0)
                return false;
            ServerRequest connect;
            const BOOL started = ConnectNamedPipe(pipe, &connect.overlapped);
            const DWORD error = started ? ERROR_SUCCESS : GetLastError();
            if (error == ERROR_PIPE_CONNECTED)
                break;
            DWORD unused = 0;
            if (error == ERROR_SUCCESS || error == ERROR_IO_PENDING) {
                if (await(pipe, connect.overlapped, started, unused))
                    break;
                if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0)
                    return false;
            }
            // A host that came and went before we saw it: listen afresh.
            DisconnectNamedPipe(pipe);
        }
    }
    return true;
}

void PipeDriverStandIn::serveHost()
{
    std::vector<std::uint8_t> buffer(serverReadBytes);
    ServerRequest read;
    for (;;) {
        const BOOL started = ReadFile(toDevice_, buffer.data(), serverReadBytes, nullptr, &read.overlapped);
        if (!started && GetLastError() != ERROR_IO_PENDING)
            break;
        const HANDLE events[] = {stop_, read.overlapped.hEvent, release_};
        DWORD woken;
        while ((woken = WaitForMultipleObjects(3, events, FALSE, INFINITE)) == WAIT_OBJECT_0 + 2) {
            std::vector<std::uint8_t> released;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                released.swap(held_);
            }
            if (!released.empty())
                sendToHost(released);
        }
        DWORD got = 0;
        if (woken != WAIT_OBJECT_0 + 1) {
            CancelIoEx(toDevice_, &read.overlapped);
            GetOverlappedResult(toDevice_, &read.overlapped, &got, TRUE);
            break;
        }
        if (!GetOverlappedResult(toDevice_, &read.overlapped, &got, FALSE))
            break;  // the host has gone
        std::vector<std::uint8_t> reply;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            loader_.receive(buffer.data(), got);
            reply = takeReply();
            if (holding_) {
                held_.insert(held_.end(), reply.begin(), reply.end());
                reply.clear();
            }
        }
        if (!reply.empty() && !sendToHost(reply))
            break;
    }
    DisconnectNamedPipe(fromDevice_);
    DisconnectNamedPipe(toDevice_);
}

bool PipeDriverStandIn::await(HANDLE pipe, OVERLAPPED &overlapped, BOOL started, DWORD &bytes)
{
    if (!started && GetLastError() != ERROR_IO_PENDING)
        return false;
    const HANDLE events[] = {stop_, overlapped.hEvent};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
        CancelIoEx(pipe, &overlapped);
        GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, &bytes, FALSE);
}

bool PipeDriverStandIn::sendToHost(const std::vector<std::uint8_t> &bytes)
{
    ServerRequest write;
    DWORD sent = 0;
    const BOOL started = WriteFile(fromDevice_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &write.overlapped);
    return await(fromDevice_, write.overlapped, started, sent) && sent == bytes.size();
}

std::vector<std::uint8_t> PipeDriverStandIn::takeReply()
{
    std::vector<std::uint8_t> reply;
    if (framing_ == Framing::plain) {
        reply.resize(loader_.available());
        loader_.take(reply.data(), reply.size());
        return reply;
    }
    while (loader_.available() > 0) {
        std::uint8_t packets[rawReadBytes];
        const std::size_t produced = chip_.readPackets(packets, sizeof packets);
        reply.insert(reply.end(), packets, packets + produced);
    }
    return reply;
}
