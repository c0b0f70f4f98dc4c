#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/platform.h"

// A control request that the adapter driver would answer: the pipe reset, or
// a vendor request.
struct ControlRequest {
    bool resetPipe = false;
    std::uint32_t request = 0;
    std::uint32_t value = 0;
    std::uint32_t index = 0;
};

// The native backend with every pipe call passed through, but able to
// replace outcomes that the real system cannot be made to produce (a busy
// driver, an event that cannot be created, the driver's control requests),
// and keeping count of what is open and in flight, so a test sees every
// handle released.
class InjectingBackend : public platform::UsbBackend, public platform::DeviceIo {
public:
    explicit InjectingBackend(std::shared_ptr<platform::UsbBackend> real) : real_(std::move(real)) {}

    // An outcome reported, without opening anything, for that pipe.
    void injectOpen(platform::Pipe pipe, platform::OpenOutcome outcome) { openOutcomes_[pipe] = outcome; }
    // The `n`-th request slot (counting from 1) cannot be created.
    void failSlotCreation(int n) { failingSlot_ = n; }
    // Answers control requests in place of the driver; unset, they go to the
    // real backend.
    void answerControl(std::function<bool(const ControlRequest &)> answer) { control_ = std::move(answer); }

    // Pipes and request slots handed out and not yet closed.
    int openHandles() const { return static_cast<int>(open_.size()); }
    // Requests that went pending and have neither been fetched nor cancelled.
    int outstandingRequests() const { return static_cast<int>(outstanding_.size()); }

    platform::DeviceEnumeration &enumeration() override { return real_->enumeration(); }
    platform::DeviceIo &io() override { return *this; }
    platform::HidAccess *hid() override { return real_->hid(); }

    platform::OpenOutcome openPipe(const std::string &devicePath, platform::Pipe pipe,
                                   platform::Handle &handle) override;
    platform::Handle createRequestSlot() override;
    void close(platform::Handle handle) override;
    bool startRead(platform::Handle pipe, platform::Handle slot, std::uint8_t *buffer, std::uint32_t count) override;
    bool startWrite(platform::Handle pipe, platform::Handle slot, const std::uint8_t *buffer,
                    std::uint32_t count) override;
    bool waitRequest(platform::Handle slot, std::uint32_t timeoutMilliseconds) override;
    std::optional<std::uint32_t> requestResult(platform::Handle pipe, platform::Handle slot) override;
    void cancelRequest(platform::Handle pipe, platform::Handle slot) override;
    bool resetPipe(platform::Handle pipe) override;
    bool vendorRequest(platform::Handle pipe, std::uint32_t request, std::uint32_t value,
                       std::uint32_t index) override;

private:
    platform::DeviceIo &realIo() { return real_->io(); }

    std::shared_ptr<platform::UsbBackend> real_;
    std::map<platform::Pipe, platform::OpenOutcome> openOutcomes_;
    int failingSlot_ = 0;
    int slotsAsked_ = 0;
    std::function<bool(const ControlRequest &)> control_;
    std::set<platform::Handle> open_;
    std::set<platform::Handle> outstanding_;
};
