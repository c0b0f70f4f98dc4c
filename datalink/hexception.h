#pragma once

#include <string>

// The one exception type of the updater. It deliberately has no base class:
// only HException is caught by the program's handlers, so nothing else can be
// mistaken for a device failure. Callers that add context catch it and throw a
// new one whose message starts with their own prefix.
class HException {
public:
    explicit HException(std::string message) : message_(std::move(message)) {}
    explicit HException(const char *message) : message_(message ? message : "") {}
    HException(const HException &) = default;
    HException &operator=(const HException &) = default;
    virtual ~HException() = default;

    const std::string &message() const { return message_; }

private:
    std::string message_;
};
