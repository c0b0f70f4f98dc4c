#include "tests/platform/libusb/emulation/emulated_device.h"

#include <linux/types.h>
#include <sys/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <umockdev.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void appendLittleEndian16(Bytes &out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// The device descriptor followed by the whole configuration descriptor, as
// the kernel's "descriptors" attribute holds them.
Bytes descriptorsOf(const EmulatedDevice::Description &description)
{
    Bytes out = {18, 1, 0x00, 0x02, static_cast<std::uint8_t>(description.bulkInterface ? 0 : 9),
                 0,  0, 64};
    appendLittleEndian16(out, description.vendorId);
    appendLittleEndian16(out, description.productId);
    appendLittleEndian16(out, 0x0100);
    out.insert(out.end(), {1, 2, 3, 1});

    Bytes interface;
    if (description.bulkInterface) {
        interface = {9, 4, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0,  // vendor-specific, two endpoints
                     7, 5, 0x81, 2, 64, 0, 0,             // bulk IN 1
                     7, 5, 0x02, 2, 64, 0, 0};            // bulk OUT 2
    } else {
        interface = {9, 4, 0, 0, 1, 9, 0, 0, 0,  // a hub's status-change endpoint
                     7, 5, 0x81, 3, 1, 0, 12};
    }
    const auto total = static_cast<std::uint16_t>(9 + interface.size());
    out.insert(out.end(), {9, 2});
    appendLittleEndian16(out, total);
    out.insert(out.end(), {1, 1, 0, 0x80, 50});
    out.insert(out.end(), interface.begin(), interface.end());
    return out;
}

std::string hex(const Bytes &bytes)
{
    std::string out;
    char digits[3];
    for (const auto byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        out += digits;
    }
    return out;
}

int busOf(const std::string &kernelName) { return std::stoi(kernelName); }

}  // namespace

EmulatedDevice::EmulatedDevice(UMockdevTestbed *testbed, const std::string &rootDirectory,
                               const Description &description)
    : testbed_(testbed)
{
    const int bus = busOf(description.kernelName);
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/%03d/%03d", bus, description.address);
    devNode_ = std::string("/dev/") + node;
    nodePath_ = rootDirectory + devNode_;
    sysPath_ = "/sys/devices/usb" + std::to_string(bus) + "/";
    // A device below a hub sits in its hub's folder: 1-1.4 in 1-1.
    const auto dot = description.kernelName.rfind('.');
    if (dot != std::string::npos)
        sysPath_ += description.kernelName.substr(0, dot) + "/";
    sysPath_ += description.kernelName;

    // Attributes are written as the kernel writes them: with a newline.
    std::string text = "P: " + sysPath_.substr(4) + "\nN: " + node + "\nE: DEVNAME=" + devNode_ +
                       "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: busnum=" +
                       std::to_string(bus) + "\\n\nA: devnum=" +
                       std::to_string(description.address) +
                       "\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\n";
    text += "H: descriptors=" + hex(descriptorsOf(description)) + "\n";

    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, text.c_str(), &error)) {
        const std::string message = error ? error->message : "cannot add the device";
        g_clear_error(&error);
        throw std::runtime_error(message);
    }
    // Written as they are: the description's own syntax would read
    // backslashes as escapes.
    const std::pair<const char *, const std::optional<std::string> *> strings[] = {
        {"serial", &description.serial},
        {"manufacturer", &description.manufacturer},
        {"product", &description.product}};
    for (const auto &[name, value] : strings) {
        if (*value)
            umockdev_testbed_set_attribute(testbed_, sysPath_.c_str(), name, (**value + "\n").c_str());
    }
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(handleIoctl), this);
    if (!umockdev_testbed_attach_ioctl(testbed_, devNode_.c_str(), handler_, &error)) {
        const std::string message = error ? error->message : "cannot attach the ioctl handler";
        g_clear_error(&error);
        throw std::runtime_error(message);
    }
}

EmulatedDevice::~EmulatedDevice()
{
    if (!removed_)
        umockdev_testbed_detach_ioctl(testbed_, devNode_.c_str(), nullptr);
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto *queue : {&waitingIn_, &waitingControl_, &finished_}) {
        for (auto &urb : *queue)
            release(urb);
        queue->clear();
    }
    g_signal_handlers_disconnect_by_data(handler_, this);
    g_object_unref(handler_);
}

void EmulatedDevice::connect(EndpointPeer *peer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    peer_ = peer;
}

void EmulatedDevice::setClaimedElsewhere(bool claimed)
{
    std::lock_guard<std::mutex> lock(mutex_);
    claimedElsewhere_ = claimed;
}

void EmulatedDevice::denyAccess()
{
    // Root passes any file mode; the test drops that power where it opens.
    ::chmod(nodePath_.c_str(), 0);
}

void EmulatedDevice::leaveControlRequestsUnanswered()
{
    std::lock_guard<std::mutex> lock(mutex_);
    controlUnanswered_ = true;
}

void EmulatedDevice::unplugAtNextRead()
{
    std::lock_guard<std::mutex> lock(mutex_);
    unplugArmed_ = true;
}

void EmulatedDevice::unplug()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        goneNow();
    }
    if (!removed_) {
        removed_ = true;
        umockdev_testbed_detach_ioctl(testbed_, devNode_.c_str(), nullptr);
        // The kernel's event goes out while the device's properties are
        // still there to fill it.
        umockdev_testbed_uevent(testbed_, sysPath_.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_, sysPath_.c_str());
    }
}

int EmulatedDevice::ioctls()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ioctls_;
}

int EmulatedDevice::claims()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return claims_;
}

int EmulatedDevice::outstandingTransfers()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(waitingIn_.size() + waitingControl_.size() + finished_.size());
}

int EmulatedDevice::discardedTransfers()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return discarded_;
}

int EmulatedDevice::discardedControlRequests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return discardedControl_;
}

std::deque<std::uint8_t> EmulatedDevice::clearedHalts()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return clearedHalts_;
}

int EmulatedDevice::handleIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self)
{
    return static_cast<EmulatedDevice *>(self)->handle(client);
}

void EmulatedDevice::release(Urb &urb)
{
    if (urb.buffer)
        umockdev_ioctl_data_unref(urb.buffer);
    umockdev_ioctl_data_unref(urb.urb);
}

// What the kernel does to the transfers of a device that is pulled out: they
// end with ESHUTDOWN, to be reaped like any other.
void EmulatedDevice::goneNow()
{
    gone_ = true;
    for (auto *queue : {&waitingIn_, &waitingControl_}) {
        while (!queue->empty()) {
            Urb urb = queue->front();
            queue->pop_front();
            urb.status = -ESHUTDOWN;
            finished_.push_back(urb);
        }
    }
}

bool EmulatedDevice::handle(UMockdevIoctlClient *client)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++ioctls_;
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(__u32), nullptr);
        // One URB per transfer of any size, as modern kernels allow.
        const __u32 value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                            USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        std::memcpy(caps->data, &value, sizeof value);
        umockdev_ioctl_data_unref(caps);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM:
        if (gone_ || claimedElsewhere_) {
            umockdev_ioctl_client_complete(client, -1, gone_ ? ENODEV : EBUSY);
        } else {
            ++claims_;
            umockdev_ioctl_client_complete(client, 0, 0);
        }
        return true;
    case USBDEVFS_RELEASEINTERFACE:
        if (claims_ > 0)
            --claims_;
        umockdev_ioctl_client_complete(client, gone_ ? -1 : 0, gone_ ? ENODEV : 0);
        return true;
    case USBDEVFS_IOCTL:  // a kernel driver let go of the interface or takes it back
        umockdev_ioctl_client_complete(client, gone_ ? -1 : 0, gone_ ? ENODEV : 0);
        return true;
    case USBDEVFS_CLEAR_HALT: {
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        UMockdevIoctlData *endpoint =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned int), nullptr);
        if (!endpoint) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return true;
        }
        unsigned int address = 0;
        std::memcpy(&address, endpoint->data, sizeof address);
        umockdev_ioctl_data_unref(endpoint);
        if (!gone_)
            clearedHalts_.push_back(static_cast<std::uint8_t>(address));
        umockdev_ioctl_client_complete(client, gone_ ? -1 : 0, gone_ ? ENODEV : 0);
        return true;
    }
    case USBDEVFS_SUBMITURB:
        submit(client);
        return true;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        reap(client);
        return true;
    case USBDEVFS_DISCARDURB:
        discard(client);
        return true;
    default:
        return false;
    }
}

void EmulatedDevice::submit(UMockdevIoctlClient *client)
{
    if (gone_) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return;
    }
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    Urb urb{umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr), nullptr};
    // The program's memory cannot be read once it has died (a test that
    // kills it mid-transfer): its request goes nowhere.
    if (!urb.urb) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    auto *header = reinterpret_cast<usbdevfs_urb *>(urb.urb->data);
    if (header->buffer_length > 0)
        urb.buffer = umockdev_ioctl_data_resolve(urb.urb, offsetof(usbdevfs_urb, buffer),
                                                 header->buffer_length, nullptr);
    std::uint8_t *data = urb.buffer ? urb.buffer->data : nullptr;
    const auto length = static_cast<std::size_t>(header->buffer_length);

    if (header->type == USBDEVFS_URB_TYPE_CONTROL && controlUnanswered_) {
        waitingControl_.push_back(urb);
    } else if (header->type == USBDEVFS_URB_TYPE_CONTROL) {
        // The setup packet comes first; a request without a data stage
        // moves no bytes.
        bool accepted = false;
        if (data && length >= 8 && data[0] == 0x40 && peer_)
            accepted = peer_->vendorRequest(data[1], data[2] | data[3] << 8, data[4] | data[5] << 8);
        urb.status = accepted ? 0 : -EPIPE;
        finished_.push_back(urb);
    } else if (header->endpoint & 0x80) {
        if (unplugArmed_) {
            unplugArmed_ = false;
            waitingIn_.push_back(urb);
            goneNow();
        } else {
            waitingIn_.push_back(urb);
        }
    } else {
        if (peer_ && data)
            peer_->receive(data, length);
        urb.actualLength = header->buffer_length;
        finished_.push_back(urb);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedDevice::reap(UMockdevIoctlClient *client)
{
    if (finished_.empty() && !waitingIn_.empty() && peer_) {
        Urb &urb = waitingIn_.front();
        const std::size_t capacity = urb.buffer ? static_cast<std::size_t>(urb.buffer->data_len) : 0;
        const std::size_t sent = capacity ? peer_->send(urb.buffer->data, capacity) : 0;
        if (sent > 0) {
            urb.actualLength = static_cast<int>(sent);
            finished_.push_back(urb);
            waitingIn_.pop_front();
        }
    }
    if (finished_.empty()) {
        umockdev_ioctl_client_complete(client, -1, gone_ ? ENODEV : EAGAIN);
        return;
    }
    Urb urb = finished_.front();
    finished_.pop_front();
    auto *header = reinterpret_cast<usbdevfs_urb *>(urb.urb->data);
    header->status = urb.status;
    header->actual_length = urb.actualLength;
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData *pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), nullptr);
    umockdev_ioctl_data_set_ptr(pointer, 0, urb.urb);
    umockdev_ioctl_data_unref(pointer);
    umockdev_ioctl_client_complete(client, 0, 0);
    release(urb);
}

void EmulatedDevice::discard(UMockdevIoctlClient *client)
{
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    gulong address = 0;
    std::memcpy(&address, arg->data, sizeof address);
    for (auto *queue : {&waitingIn_, &waitingControl_}) {
        for (auto it = queue->begin(); it != queue->end(); ++it) {
            if (it->urb->client_addr == address) {
                Urb urb = *it;
                queue->erase(it);
                urb.status = -ENOENT;
                finished_.push_back(urb);
                ++(queue == &waitingIn_ ? discarded_ : discardedControl_);
                umockdev_ioctl_client_complete(client, 0, 0);
                return;
            }
        }
    }
    // Too late: it has ended already and waits to be reaped.
    umockdev_ioctl_client_complete(client, -1, EINVAL);
}
