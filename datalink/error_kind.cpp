#include "datalink/error_kind.h"

#include <array>
#include "platform/table_row.h"

namespace {

constexpr std::array<ErrorKindInfo, 24> kinds = {{
    {ErrorKind::usage, "usage", "the command line is wrong"},
    {ErrorKind::notFound, "not-found", "no adapter attached, or none with that serial number or port"},
    {ErrorKind::ambiguous, "ambiguous", "several adapters match: choose one with --serial or --port"},
    {ErrorKind::unsupported, "unsupported", "Vantrel Update carries no firmware for the adapter"},
    {ErrorKind::invalidImage, "invalid-image", "the carried firmware image is damaged"},
    {ErrorKind::deviceBusy, "device-busy", "another program holds the adapter"},
    {ErrorKind::noPermission, "no-permission", "the system refuses access (install the udev rules)"},
    {ErrorKind::openFailed, "open-failed", "the adapter cannot be opened (gone, or no driver)"},
    {ErrorKind::noReply, "no-reply", "the boot loader does not answer"},
    {ErrorKind::linkFailed, "link-failed", "a transfer to or from the adapter failed (pulled out, or the link broke)"},
    {ErrorKind::connectFailed, "connect-failed", "the boot loader refuses the connect"},
    {ErrorKind::eraseFailed, "erase-failed", "an erase command failed or got no answer"},
    {ErrorKind::writeFailed, "write-failed", "a write command failed or got no answer"},
    {ErrorKind::verifyFailed, "verify-failed", "a verify command got no answer"},
    {ErrorKind::verifyMismatch, "verify-mismatch", "the flash differs from the carried firmware"},
    {ErrorKind::disconnectFailed, "disconnect-failed", "the boot loader refuses the disconnect"},
    {ErrorKind::notBack, "not-back", "the adapter did not come back after its reboot or the install"},
    {ErrorKind::wrongVersion, "wrong-version", "after the install the adapter reports another version"},
    {ErrorKind::interrupted, "interrupted", "stopped by SIGINT, SIGTERM or SIGHUP"},
    {ErrorKind::deviceError, "device-error", "any other failure the adapter or its link reports"},
    {ErrorKind::badRecording, "bad-recording", "the --replay file is no whole recording of this command"},
    {ErrorKind::recordingFailed, "recording-failed", "the --record file could not be made or written whole"},
    {ErrorKind::replayDiverged, "replay-diverged", "the command asked for other exchanges than were recorded"},
    {ErrorKind::historyFailed, "history-failed",
     "the history cannot be read, or cannot keep a result that --require-history demands"},
}};

}  // namespace

std::span<const ErrorKindInfo> errorKinds() { return kinds; }

const char *nameOf(ErrorKind kind)
{
    const ErrorKindInfo *info = rowWhere(kinds, &ErrorKindInfo::kind, kind);
    return info ? info->name : "device-error";
}
