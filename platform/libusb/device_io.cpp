#include "platform/libusb/device_io.h"

#include "platform/request_wait.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <climits>

#include "platform/libusb/device_names.h"
#include "platform/libusb/usb_context.h"

namespace platform {

namespace {

constexpr int inPipe = 0;
constexpr int outPipe = 1;

// A vendor request to the adapter or its bridge chip is answered within a
// millisecond or two; one that is not answered within this counts as
// refused. The link above tries each request ten times, 10 ms apart, so ten
// unanswered tries must stay well under a second: a poll that opens a hung
// chip would otherwise freeze the window for ten seconds.
constexpr unsigned controlTimeoutMilliseconds = 30;
// Host to device, vendor type, device recipient: 0x40.
constexpr std::uint8_t vendorRequestToDevice = 0x40;

OpenOutcome outcomeOf(int error)
{
    switch (error) {
    case LIBUSB_SUCCESS:
        return OpenOutcome::opened;
    case LIBUSB_ERROR_BUSY:
        return OpenOutcome::busy;
    case LIBUSB_ERROR_ACCESS:
        return OpenOutcome::accessDenied;
    default:
        return OpenOutcome::failed;
    }
}

void LIBUSB_CALL transferEnded(libusb_transfer *transfer)
{
    *static_cast<int *>(transfer->user_data) = 1;
}

// The adapter's interface: the first one whose first setting has both a bulk
// IN and a bulk OUT endpoint. Read from the descriptors the kernel cached.
bool findBulkPipes(libusb_device *device, int &interfaceNumber, std::uint8_t endpoints[2])
{
    libusb_config_descriptor *config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS)
        return false;
    bool found = false;
    for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
        if (config->interface[i].num_altsetting < 1)
            continue;
        const libusb_interface_descriptor &setting = config->interface[i].altsetting[0];
        std::uint8_t in = 0, out = 0;
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor &endpoint = setting.endpoint[e];
            if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK)
                continue;
            std::uint8_t &slot = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) ? in : out;
            if (slot == 0)
                slot = endpoint.bEndpointAddress;
        }
        if (in != 0 && out != 0) {
            interfaceNumber = setting.bInterfaceNumber;
            endpoints[inPipe] = in;
            endpoints[outPipe] = out;
            found = true;
        }
    }
    libusb_free_config_descriptor(config);
    return found;
}

}  // namespace

LibusbDeviceIo::~LibusbDeviceIo()
{
    for (auto &[handle, slot] : slots_) {
        cancelRequest(slot->pipe, handle);
        libusb_free_transfer(slot->transfer);
    }
    slots_.clear();
    pipes_.clear();
    while (!claims_.empty())
        releaseClaim(claims_.begin()->second);
}

OpenOutcome LibusbDeviceIo::openPipe(const std::string &devicePath, Pipe which, Handle &pipe)
{
    pipe = invalidHandle;
    const int index = which == Pipe::in ? inPipe : outPipe;
    const auto name = kernelNameOf(devicePath);
    if (!name)
        return OpenOutcome::failed;

    std::shared_ptr<Claim> claim;
    const auto [first, last] = claims_.equal_range(*name);
    for (auto it = first; it != last && !claim; ++it) {
        if (!it->second->pipeOpen[index])
            claim = it->second;
    }
    if (!claim && first != last)
        return OpenOutcome::busy;
    if (!claim) {
        const OpenOutcome outcome = claimDevice(*name, claim);
        if (outcome != OpenOutcome::opened)
            return outcome;
        claims_.emplace(*name, claim);
    }
    claim->pipeOpen[index] = true;
    pipe = nextHandle_++;
    pipes_.emplace(pipe, OpenPipe{claim, index});
    return OpenOutcome::opened;
}

OpenOutcome LibusbDeviceIo::claimDevice(const std::string &kernelName,
                                        std::shared_ptr<Claim> &claim)
{
    libusb_context *context = context_.get();
    if (!context)
        return OpenOutcome::failed;
    libusb_device **devices = nullptr;
    const ssize_t count = libusb_get_device_list(context, &devices);
    if (count < 0)
        return OpenOutcome::failed;
    libusb_device *device = nullptr;
    for (ssize_t i = 0; i < count && !device; ++i) {
        if (platform::kernelName(devices[i]) == kernelName)
            device = devices[i];
    }

    OpenOutcome outcome = OpenOutcome::failed;
    auto made = std::make_shared<Claim>();
    made->kernelName = kernelName;
    if (device && findBulkPipes(device, made->interfaceNumber, made->endpoints)) {
        int result = libusb_open(device, &made->handle);
        if (result == LIBUSB_SUCCESS) {
            // A serial driver binds to FTDI bridge chips by default; it must
            // let go of the interface for the link to claim it, and gets it
            // back when the link releases it.
            libusb_set_auto_detach_kernel_driver(made->handle, 1);
            result = libusb_claim_interface(made->handle, made->interfaceNumber);
            if (result != LIBUSB_SUCCESS)
                libusb_close(made->handle);
        }
        outcome = outcomeOf(result);
        if (outcome == OpenOutcome::opened)
            claim = made;
    }
    libusb_free_device_list(devices, 1);
    return outcome;
}

void LibusbDeviceIo::releaseClaim(std::shared_ptr<Claim> claim)
{
    libusb_release_interface(claim->handle, claim->interfaceNumber);
    libusb_close(claim->handle);
    const auto [first, last] = claims_.equal_range(claim->kernelName);
    for (auto it = first; it != last; ++it) {
        if (it->second == claim) {
            claims_.erase(it);
            return;
        }
    }
}

Handle LibusbDeviceIo::createRequestSlot()
{
    auto slot = std::make_unique<Slot>();
    slot->transfer = libusb_alloc_transfer(0);
    if (!slot->transfer)
        return invalidHandle;
    const Handle handle = nextHandle_++;
    slots_.emplace(handle, std::move(slot));
    return handle;
}

void LibusbDeviceIo::close(Handle handle)
{
    if (const auto pipe = pipes_.find(handle); pipe != pipes_.end()) {
        // The handle is about to go: no transfer may still be queued on it.
        for (auto &[slotHandle, slot] : slots_) {
            if (slot->pipe == handle)
                cancelRequest(handle, slotHandle);
        }
        const std::shared_ptr<Claim> claim = pipe->second.claim;
        claim->pipeOpen[pipe->second.index] = false;
        pipes_.erase(pipe);
        if (!claim->pipeOpen[inPipe] && !claim->pipeOpen[outPipe])
            releaseClaim(claim);
        return;
    }
    if (const auto slot = slots_.find(handle); slot != slots_.end()) {
        cancelRequest(slot->second->pipe, handle);
        libusb_free_transfer(slot->second->transfer);
        slots_.erase(slot);
    }
}

LibusbDeviceIo::OpenPipe *LibusbDeviceIo::findPipe(Handle pipe)
{
    const auto found = pipes_.find(pipe);
    return found == pipes_.end() ? nullptr : &found->second;
}

LibusbDeviceIo::Slot *LibusbDeviceIo::findSlot(Handle slot)
{
    const auto found = slots_.find(slot);
    return found == slots_.end() ? nullptr : found->second.get();
}

bool LibusbDeviceIo::submit(Handle pipe, Handle slot, int pipeIndex, std::uint8_t *buffer,
                            std::uint32_t count)
{
    OpenPipe *target = findPipe(pipe);
    Slot *request = findSlot(slot);
    if (!target || !request || target->index != pipeIndex || count > INT_MAX)
        return false;
    if (request->submitted && !request->completed)
        return false;  // one request per slot at a time
    libusb_fill_bulk_transfer(request->transfer, target->claim->handle,
                              target->claim->endpoints[pipeIndex], buffer,
                              static_cast<int>(count), transferEnded, &request->completed, 0);
    request->completed = 0;
    request->pipe = pipe;
    request->submitted = libusb_submit_transfer(request->transfer) == LIBUSB_SUCCESS;
    return request->submitted;
}

bool LibusbDeviceIo::startRead(Handle pipe, Handle slot, std::uint8_t *buffer, std::uint32_t count)
{
    return submit(pipe, slot, inPipe, buffer, count);
}

bool LibusbDeviceIo::startWrite(Handle pipe, Handle slot, const std::uint8_t *buffer,
                                std::uint32_t count)
{
    // libusb's buffer is not const, but an OUT transfer only reads it.
    return submit(pipe, slot, outPipe, const_cast<std::uint8_t *>(buffer), count);
}

WaitOutcome LibusbDeviceIo::waitRequest(Handle slot, std::uint32_t timeoutMilliseconds)
{
    Slot *request = findSlot(slot);
    libusb_context *context = context_.get();
    if (!request || !request->submitted || !context)
        return WaitOutcome::timedOut;
    using Steady = std::chrono::steady_clock;
    const Steady::time_point origin = Steady::now();
    const auto now = [&] {
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - origin).count());
    };
    // Each step handles libusb's events until the transfer completes or the
    // step's time has passed.
    return waitInSteps(timeoutMilliseconds, now, [&](std::uint32_t step) {
        const Steady::time_point end = Steady::now() + std::chrono::milliseconds(step);
        while (!request->completed) {
            const auto left = std::max(Steady::duration::zero(), end - Steady::now());
            const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
            timeval wait{static_cast<time_t>(micros / 1'000'000), static_cast<suseconds_t>(micros % 1'000'000)};
            libusb_handle_events_timeout_completed(context, &wait, &request->completed);
            if (left == Steady::duration::zero())
                break;
        }
        return request->completed != 0;
    });
}

std::optional<std::uint32_t> LibusbDeviceIo::requestResult(Handle, Handle slot)
{
    const Slot *request = findSlot(slot);
    if (!request || !request->submitted || !request->completed ||
        request->transfer->status != LIBUSB_TRANSFER_COMPLETED)
        return std::nullopt;
    return static_cast<std::uint32_t>(request->transfer->actual_length);
}

void LibusbDeviceIo::cancelRequest(Handle, Handle slot)
{
    Slot *request = findSlot(slot);
    if (!request || !request->submitted || request->completed)
        return;
    libusb_cancel_transfer(request->transfer);
    // The caller may free the buffer as soon as this returns, so wait for
    // the transfer's end however it comes: cancelled, completed meanwhile,
    // or failed because the device went away.
    libusb_context *context = context_.get();
    while (!request->completed)
        libusb_handle_events_completed(context, &request->completed);
}

bool LibusbDeviceIo::resetPipe(Handle pipe)
{
    const OpenPipe *target = findPipe(pipe);
    // A pipe reset clears a halt of the pipe's endpoint and resets its data
    // toggle on both sides: the standard CLEAR_FEATURE request, which the
    // adapters and their FTDI bridge chips all answer. What the bridge chip
    // holds in its own buffers is dropped by the purge requests that the
    // FTDI link sends next.
    return target &&
           libusb_clear_halt(target->claim->handle, target->claim->endpoints[target->index]) == LIBUSB_SUCCESS;
}

bool LibusbDeviceIo::vendorRequest(Handle pipe, std::uint32_t request, std::uint32_t value, std::uint32_t index)
{
    const OpenPipe *target = findPipe(pipe);
    if (!target)
        return false;
    // A control setup packet has an 8-bit request and 16-bit value and index.
    return libusb_control_transfer(target->claim->handle, vendorRequestToDevice, static_cast<std::uint8_t>(request),
                                   static_cast<std::uint16_t>(value), static_cast<std::uint16_t>(index), nullptr, 0,
                                   controlTimeoutMilliseconds) >= 0;
}

}  // namespace platform
