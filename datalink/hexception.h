#pragma once

#include <string>

#include "datalink/error_kind.h"

// The one exception type of the updater. It deliberately has no base class:
// only HException is caught by the program's handlers, so nothing else can be
// mistaken for a device failure. Callers that add context catch it and throw a
// new one whose message starts with their own prefix.
//
// Beside its message, which is for people, it carries the kind of failure,
// set where the failure happened, so that no program has to read meaning
// back out of the message.
class HException {
public:
    HException(ErrorKind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
    // A failure of no more particular kind.
    explicit HException(std::string message) : HException(ErrorKind::deviceError, std::move(message)) {}
    explicit HException(const char *message) : HException(std::string(message ? message : "")) {}
    HException(const HException &) = default;
    HException &operator=(const HException &) = default;
    virtual ~HException() = default;

    const std::string &message() const { return message_; }
    ErrorKind kind() const { return kind_; }

private:
    ErrorKind kind_;
    std::string message_;
};
