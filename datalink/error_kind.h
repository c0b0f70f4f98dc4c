#pragma once

#include <span>

// Why something failed, in words that scripts can rely on: the messages are
// for people and may change, these names do not. A failure carries its kind
// from where it happens (HException::kind()); the programs only render it.
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
    historyFailed,
};

struct ErrorKindInfo {
    ErrorKind kind;
    const char *name;     // as JSON carries it: "device-busy"
    const char *meaning;  // one line, for the help text, the manual page and the README
};

// Every kind, in the order the help text lists them.
std::span<const ErrorKindInfo> errorKinds();
const char *nameOf(ErrorKind kind);
