#pragma once

#include <span>
#include <string>
#include <string_view>

class HException;

// Why something failed, in words that scripts can rely on: the messages
// are for people and may change, these names do not.
enum class ErrorKind {
    usage,
    notFound,
    ambiguous,
    unsupported,
    invalidImage,
    deviceBusy,
    noPermission,
    openFailed,
    noReply,
    linkFailed,
    connectFailed,
    eraseFailed,
    writeFailed,
    verifyFailed,
    verifyMismatch,
    disconnectFailed,
    notBack,
    wrongVersion,
    interrupted,
    deviceError,
    badRecording,
    recordingFailed,
    replayDiverged,
};

struct ErrorKindInfo {
    ErrorKind kind;
    const char *name;     // as JSON carries it: "device-busy"
    const char *meaning;  // for the help text and the README
};

// Every kind, in the order the help text lists them.
std::span<const ErrorKindInfo> errorKinds();
const char *nameOf(ErrorKind kind);

// The kind of a failure that the install engine, the boot loader or a data
// link reported, from its message: their messages are fixed texts and
// prefixes. Anything unknown is a device-error.
ErrorKind errorKindOf(std::string_view message);

// A failure as vantrel-flash reports it: its kind and the message people read.
struct Failure {
    ErrorKind kind;
    std::string message;
};

Failure failureOf(const HException &exception);
