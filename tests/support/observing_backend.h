#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_call.h"
#include "platform/platform.h"

// A control request that the adapter driver would answer: the pipe reset, or
// a vendor request.
struct ControlRequest {
    bool resetPipe = false;
    std::uint32_t request = 0;
    std::uint32_t value = 0;
    std::uint32_t index = 0;
};

// Another backend with every call passed through and counted, so that a test
// sees what crossed the seam and that every handle was released; and able to
// replace outcomes that the backend behind cannot be made to produce (a busy
// driver, an event that cannot be created, the driver's control requests).
class ObservingBackend : public platform::DeviceCallBackend {
public:
    explicit ObservingBackend(std::shared_ptr<platform::UsbBackend> inner);

    // --- outcomes injected ----------------------------------------------------

    // An outcome reported, without opening anything, for that pipe.
    void injectOpen(platform::Pipe pipe, platform::OpenOutcome outcome) { openOutcomes_[pipe] = outcome; }
    // The `k`-th request slot asked for from now on (counting from 1) cannot
    // be created.
    void failSlotCreation(int k) { failingSlots_.insert(slotsAsked_ + k); }
    // Answers control requests in place of the driver; unset, they go to the
    // backend behind.
    void answerControl(std::function<bool(const ControlRequest &)> answer) { control_ = std::move(answer); }

    // --- what crossed the seam ------------------------------------------------

    // Pipes, request slots and HID devices handed out and not yet closed.
    int openHandles() const { return static_cast<int>(open_.size()); }
    // Requests that went pending and have not yet been seen to end: a wait
    // that saw one complete, its result fetched, or its cancel.
    int outstandingRequests() const { return static_cast<int>(outstanding_.size()); }
    // Cancels of requests still outstanding.
    int cancellations() const { return cancellations_; }
    // How many times the devices were listed.
    int listings() const { return listings_; }
    // Successful opens of an IN pipe: one per link made.
    int linksOpened() const { return linksOpened_; }
    // The size of every read (true) and write (false) request that went
    // pending, in order.
    const std::vector<std::pair<bool, std::uint32_t>> &requestLog() const { return requestLog_; }
    void clearRequestLog() { requestLog_.clear(); }

    // The HID library: loads and frees, the shared flag of every open, the
    // buffer size of every string call.
    int hidLibraryLoads() const { return hid_.loads; }
    int hidLibraryFrees() const { return hid_.frees; }
    const std::vector<bool> &hidOpenAttempts() const { return hid_.openAttempts; }
    const std::vector<std::uint32_t> &hidStringCallSizes() const { return hid_.stringCallSizes; }

    platform::HidAccess *hid() override { return hid_.inner ? &hid_ : nullptr; }

private:
    class CountingHid : public platform::HidAccess {
    public:
        CountingHid(platform::HidAccess *inner_, std::set<platform::Handle> &open_) : inner(inner_), open(open_) {}

        platform::Handle loadLibrary(const char *name) override;
        void *findFunction(platform::Handle library, const char *name) override;
        void freeLibrary(platform::Handle library) override;
        platform::Handle openDevice(const std::string &path, bool shared) override;
        bool callStringFunction(void *function, platform::Handle device, std::uint16_t *buffer,
                                std::uint32_t bytes) override;
        void closeDevice(platform::Handle device) override;

        platform::HidAccess *inner;
        std::set<platform::Handle> &open;
        int loads = 0;
        int frees = 0;
        std::vector<bool> openAttempts;
        std::vector<std::uint32_t> stringCallSizes;
    };

    void answer(platform::DeviceCall &call) override;
    // Answers the call in place of the backend behind; false: it is passed on.
    bool injected(platform::DeviceCall &call);
    void count(const platform::DeviceCall &call);

    std::shared_ptr<platform::UsbBackend> inner_;
    std::map<platform::Pipe, platform::OpenOutcome> openOutcomes_;
    int slotsAsked_ = 0;
    std::set<int> failingSlots_;
    std::function<bool(const ControlRequest &)> control_;
    std::set<platform::Handle> open_;
    std::set<platform::Handle> outstanding_;  // by slot
    int cancellations_ = 0;
    int listings_ = 0;
    int linksOpened_ = 0;
    std::vector<std::pair<bool, std::uint32_t>> requestLog_;
    CountingHid hid_;
};
