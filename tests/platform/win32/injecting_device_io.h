#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/platform.h"

// Forwards every call to a real backend, but can replace outcomes that the
// real system cannot be made to produce (a busy driver, an event that cannot
// be created, the driver's control codes), and keeps count of what is open
// and in flight, so a test sees every handle released.
class InjectingDeviceIo : public platform::DeviceIo {
public:
    explicit InjectingDeviceIo(platform::DeviceIo &real) : real_(real) {}

    // An outcome reported, without opening anything, for a pipe file whose
    // name ends in `pipeName` ("PIPE00", "PIPE01").
    void injectOpen(const std::string &pipeName, platform::OpenOutcome outcome) { openOutcomes_[pipeName] = outcome; }
    // The `n`-th request slot (counting from 1) cannot be created.
    void failSlotCreation(int n) { failingSlot_ = n; }
    // Answers control requests in place of the driver; unset, they go to the
    // real backend.
    void answerControl(std::function<bool(platform::ControlCode, const std::uint8_t *, std::uint32_t)> answer)
    {
        control_ = std::move(answer);
    }

    // Pipes and request slots handed out and not yet closed.
    int openHandles() const { return static_cast<int>(open_.size()); }
    // Requests that went pending and have neither been fetched nor cancelled.
    int outstandingRequests() const { return static_cast<int>(outstanding_.size()); }

    platform::OpenOutcome openPipe(const std::string &fileName, platform::Handle &pipe) override;
    platform::Handle createRequestSlot() override;
    void close(platform::Handle handle) override;
    bool startRead(platform::Handle pipe, platform::Handle slot, std::uint8_t *buffer, std::uint32_t count) override;
    bool startWrite(platform::Handle pipe, platform::Handle slot, const std::uint8_t *buffer,
                    std::uint32_t count) override;
    bool waitRequest(platform::Handle slot, std::uint32_t timeoutMilliseconds) override;
    std::optional<std::uint32_t> requestResult(platform::Handle pipe, platform::Handle slot) override;
    void cancelRequest(platform::Handle pipe, platform::Handle slot) override;
    bool deviceControl(platform::Handle pipe, platform::ControlCode code, const std::uint8_t *input,
                       std::uint32_t inputSize) override;

private:
    platform::DeviceIo &real_;
    std::map<std::string, platform::OpenOutcome> openOutcomes_;
    int failingSlot_ = 0;
    int slotsAsked_ = 0;
    std::function<bool(platform::ControlCode, const std::uint8_t *, std::uint32_t)> control_;
    std::set<platform::Handle> open_;
    std::set<platform::Handle> outstanding_;
};
