#pragma once

#include <memory>

#include "datalink/data_link.h"
#include "datalink/owed_replies.h"
#include "datalink/pipe_set.h"
#include "discovery/usb_device_info.h"

// The link family of adapters served by their own USB pipe driver.
class UsbVantrelDataLink : public HDataLink {
public:
    // One request, no exception: the bytes moved or -1.
    virtual std::int32_t readPacket(std::uint8_t *buffer, std::int32_t count) = 0;
    virtual std::int32_t writePacket(const std::uint8_t *buffer, std::int32_t count) = 0;
    virtual void reservedOperation() = 0;
    virtual std::int32_t reservedStatus() { return 0; }
};

// The link over the pipe driver's two files. Reads and writes block for at
// most the first time-out, counted from the start of the call, and report
// failures by HException. A purge reads away what the adapter has already
// sent, briefly and without failing; a new link purges once, so that it
// starts in step with the boot loader whatever an earlier link left unread.
// A purge waits for a reply on its way only while one may still come: a
// command was written and no whole reply read since, or the last link to
// the adapter left one owed (datalink/owed_replies.h).
class UsbVantrelWinDataLink : public UsbVantrelDataLink {
public:
    explicit UsbVantrelWinDataLink(const UsbDeviceInfo &device);
    ~UsbVantrelWinDataLink() override;

    std::int32_t read(std::uint8_t *buffer, std::int32_t count) override;
    std::int32_t write(const std::uint8_t *buffer, std::int32_t count) override;
    std::int32_t readPacket(std::uint8_t *buffer, std::int32_t count) override;
    std::int32_t writePacket(const std::uint8_t *buffer, std::int32_t count) override;
    void purge() override;
    void reservedOperation() override {}

private:
    std::unique_ptr<PipeSet> pipes_;
    OwingDevice device_;
    OwedReply owed_;
};
