#include "cli/error_kind.h"

#include <array>

#include "datalink/hexception.h"

namespace {

constexpr std::array<ErrorKindInfo, 23> kinds = {{
    {ErrorKind::usage, "usage", "the command line is wrong"},
    {ErrorKind::notFound, "not-found", "no adapter attached, or none with that serial number or port"},
    {ErrorKind::ambiguous, "ambiguous", "several adapters match: choose one with --serial or --port"},
    {ErrorKind::unsupported, "unsupported", "Vantrel Update carries no firmware for the adapter"},
    {ErrorKind::invalidImage, "invalid-image", "the carried firmware image is damaged"},
    {ErrorKind::deviceBusy, "device-busy", "another program holds the adapter"},
    {ErrorKind::noPermission, "no-permission", "the system refuses access (install the udev rules)"},
    {ErrorKind::openFailed, "open-failed", "the adapter cannot be opened (gone, or no driver)"},
    {ErrorKind::noReply, "no-reply", "the boot loader does not answer"},
    {ErrorKind::linkFailed, "link-failed", "a transfer to or from the adapter failed"},
    {ErrorKind::connectFailed, "connect-failed", "the boot loader refuses the connect"},
    {ErrorKind::eraseFailed, "erase-failed", "erasing the flash failed"},
    {ErrorKind::writeFailed, "write-failed", "writing the firmware failed"},
    {ErrorKind::verifyFailed, "verify-failed", "a verify command failed"},
    {ErrorKind::verifyMismatch, "verify-mismatch", "the flash differs from the carried firmware"},
    {ErrorKind::disconnectFailed, "disconnect-failed", "the boot loader refuses the disconnect"},
    {ErrorKind::notBack, "not-back", "the adapter did not come back after the install"},
    {ErrorKind::wrongVersion, "wrong-version", "after the install the adapter reports another version"},
    {ErrorKind::interrupted, "interrupted", "stopped by SIGINT, SIGTERM or SIGHUP"},
    {ErrorKind::deviceError, "device-error", "any other failure the adapter or its link reports"},
    {ErrorKind::badRecording, "bad-recording", "the --replay file is no whole recording of this command"},
    {ErrorKind::recordingFailed, "recording-failed", "the --record file could not be written whole"},
    {ErrorKind::replayDiverged, "replay-diverged", "the command asked for other exchanges than were recorded"},
}};

enum class Match { whole, start };

struct Rule {
    Match match;
    std::string_view text;
    ErrorKind kind;
};

// First match wins: the task prefixes come before the loader's and the
// links' own messages that they wrap.
constexpr std::array<Rule, 20> rules = {{
    {Match::start, "Erase failed : ", ErrorKind::eraseFailed},
    {Match::start, "Download failed : ", ErrorKind::writeFailed},
    {Match::whole, "Verify failed : crc check mismatch", ErrorKind::verifyMismatch},
    {Match::start, "Verify failed : ", ErrorKind::verifyFailed},
    {Match::start, "connect failed", ErrorKind::connectFailed},
    {Match::start, "disconnect failed", ErrorKind::disconnectFailed},
    {Match::whole, "device already in use", ErrorKind::deviceBusy},
    {Match::start, "cannot open device driver (no permission", ErrorKind::noPermission},
    {Match::start, "cannot open device driver", ErrorKind::openFailed},
    {Match::whole, "hardware error: target JTAG adapter data link read timed out", ErrorKind::noReply},
    {Match::whole, "read operation timed out", ErrorKind::noReply},
    {Match::whole, "write timed out", ErrorKind::linkFailed},
    {Match::whole, "write operation timed out", ErrorKind::linkFailed},
    {Match::whole, "write operation failed", ErrorKind::linkFailed},
    {Match::start, "read operation failed", ErrorKind::linkFailed},
    {Match::whole, "cannot purge RX", ErrorKind::linkFailed},
    {Match::whole, "cannot purge TX", ErrorKind::linkFailed},
    {Match::whole, "cannot set bit mode", ErrorKind::openFailed},
    {Match::whole, "Cannot set latency timer", ErrorKind::openFailed},
    {Match::whole, "Cannot set reset on pipe", ErrorKind::openFailed},
}};

}  // namespace

std::span<const ErrorKindInfo> errorKinds() { return kinds; }

const char *nameOf(ErrorKind kind)
{
    for (const ErrorKindInfo &info : kinds)
        if (info.kind == kind)
            return info.name;
    return "device-error";
}

ErrorKind errorKindOf(std::string_view message)
{
    for (const Rule &rule : rules) {
        const bool matches = rule.match == Match::whole ? message == rule.text : message.starts_with(rule.text);
        if (matches)
            return rule.kind;
    }
    return ErrorKind::deviceError;
}

Failure failureOf(const HException &exception) { return {errorKindOf(exception.message()), exception.message()}; }
