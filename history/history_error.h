#pragma once

// Why the history could not do what it was asked: a kind for the program to
// act on and a line for the user that names the store and what to do.

#include <stdexcept>
#include <string>

namespace history {

enum class HistoryErrorKind {
    locked,             // another program held the file beyond the wait
    readOnly,           // the file or its folder cannot be written
    damaged,            // not a history database, or a corrupt one
    newerSchema,        // written by a later version of the program
    full,               // the disk (or the size the file may reach) is full
    malformedLocation,  // neither a usable path nor a well-formed postgresql:// URL
    loginRefused,       // the server answered and refused the connection
    unreachable,        // no server answered, or the connection was lost
    unsupported,        // this build has no support for the kind of store named
    failed,             // anything else the store reported
};

// The kind's name, for messages and JSON: "locked", "read-only", ...
const char *nameOf(HistoryErrorKind kind);

class HistoryError : public std::runtime_error {
public:
    HistoryError(HistoryErrorKind kind, const std::string &message) : std::runtime_error(message), kind_(kind) {}
    HistoryErrorKind kind() const { return kind_; }

private:
    HistoryErrorKind kind_;
};

}  // namespace history
