#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "datalink/data_link.h"
#include "datalink/pipe_set.h"
#include "discovery/usb_device_info.h"

// The link family of adapters attached through an FTDI bridge chip.
class Ftd2xxDataLinkInterface : public HDataLink {
public:
    virtual void setBitMode(int mask, int mode) = 0;
    virtual std::string linkDescription() = 0;
    // One raw read of the chip's packets, status bytes included; -1 on failure.
    virtual std::int32_t readRaw(std::uint8_t *buffer, std::int32_t count) = 0;
    // One FTDI vendor request; false when the driver refused it every time.
    virtual bool vendorRequest(int request, int value, int index) = 0;
};

// The chip's de-framing read, purge, bit mode and latency timer, built on
// readRaw() and vendorRequest().
class Ftd2xxDataLink : public Ftd2xxDataLinkInterface {
public:
    static constexpr std::int32_t inputBufferSize = 4096;

    // The selector picks the chip interface: 1, 2 and 3 give request index
    // 2, 3 and 4; anything else gives 1.
    explicit Ftd2xxDataLink(int interfaceSelector);

    std::int32_t read(std::uint8_t *buffer, std::int32_t count) override;
    void purge() override;
    void setBitMode(int mask, int mode) override;
    std::string linkDescription() override { return description_; }
    void setLatencyTimer(int milliseconds);

    int requestIndex() const { return requestIndex_; }
    std::int32_t bufferedCount() const { return bufferedCount_; }

protected:
    // How long one raw read may wait: within read(), what is left of its
    // time-out, so that the read as a whole keeps to it; otherwise the
    // first time-out.
    std::uint32_t rawReadTimeout() const;

    std::unique_ptr<PipeSet> pipes_;  // the driver record, kept by the concrete link

private:
    std::optional<std::uint32_t> rawReadLimit_;  // set while read() runs

    std::int32_t packetSize_ = 64;
    std::uint8_t input_[inputBufferSize] = {};
    std::int32_t bufferedCount_ = 0;
    std::uint8_t *readPosition_ = input_;
    std::string description_;
    int requestIndex_;
};

// The FTDI link over the pipe driver and its control-request code.
class UsbdFtd2xxDataLink : public Ftd2xxDataLink {
public:
    UsbdFtd2xxDataLink(const UsbDeviceInfo &device, int interfaceSelector);
    ~UsbdFtd2xxDataLink() override;

    std::int32_t write(const std::uint8_t *buffer, std::int32_t count) override;
    std::int32_t readRaw(std::uint8_t *buffer, std::int32_t count) override;
    bool vendorRequest(int request, int value, int index) override;
};
