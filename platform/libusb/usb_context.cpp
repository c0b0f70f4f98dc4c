#include "platform/libusb/usb_context.h"

#include <libusb.h>

namespace platform {

UsbContext::~UsbContext()
{
    if (context_)
        libusb_exit(context_);
}

libusb_context *UsbContext::get()
{
    const std::lock_guard<std::mutex> guard(mutex_);
    if (!context_ && libusb_init(&context_) != LIBUSB_SUCCESS)
        context_ = nullptr;
    return context_;
}

}  // namespace platform
