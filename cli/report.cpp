#include "cli/report.h"

#include "cli/stop_signal.h"
#include "platform/device_text.h"

using platform::terminalFromLatin1;
using platform::terminalFromUtf8;

void Report::workBegins(const UsbDeviceInfo &device) { serial_ = terminalFromLatin1(device.serialNumber); }

void Report::stillWaiting(std::uint32_t waitedMilliseconds, std::uint32_t leftMilliseconds)
{
    std::fprintf(output_.messages(),
                 "vantrel-flash: %s has not answered for %.0f s; waiting up to %.0f s more (--timeout sets how "
                 "long), Ctrl-C stops\n",
                 serial_.c_str(), waitedMilliseconds / 1000.0, leftMilliseconds / 1000.0);
}

void Report::taskEndedEarly(int bytesDone) { progress_.taskEndedEarly(bytesDone, stopSignal() != 0); }

bool Report::stopRequested() { return stopSignal() != 0; }

void Report::adapterDone(const AdapterResult &result, std::optional<unsigned>)
{
    if (!result.failure)
        return;
    const std::string serial = terminalFromLatin1(result.device.serialNumber);
    const std::string message = terminalFromLatin1(result.failure->message);
    std::FILE *out = output_.messages();
    if (result.outcome == Outcome::skipped || result.failure->kind == ErrorKind::unsupported)
        std::fprintf(out, "%s (%s)\n", message.c_str(), serial.c_str());
    else if (result.outcome == Outcome::interrupted)
        std::fprintf(out, "%s\n", message.c_str());
    else if (result.outcome == Outcome::differs)
        std::fprintf(out, "%s: %s\n", serial.c_str(), message.c_str());
    else
        std::fprintf(out, "Error: %s\n", message.c_str());
    // What the interruption message says of the flash, a failure says too.
    if (result.flash == FlashLeft::partlyWritten && result.outcome == Outcome::failed)
        std::fprintf(out, "%s %s %s left partly written; vantrel-flash install again repairs it\n",
                     result.entry->variantName, serial.c_str(),
                     result.task == InstallTask::verify ? "may be" : "is");
}

void Report::stationStopped(const StationCount &count)
{
    const unsigned adapters = count.done + count.failed + count.interrupted;
    std::string detail;
    for (const auto &[number, what] : {std::pair{count.done, "done"}, std::pair{count.failed, "failed"},
                                       std::pair{count.interrupted, "interrupted"}})
        if (number > 0)
            detail += (detail.empty() ? ": " : ", ") + std::to_string(number) + " " + what;
    std::fprintf(output_.messages(), "Station stopped after %u adapter%s%s.\n", adapters, adapters == 1 ? "" : "s",
                 detail.c_str());
}

void Report::readerGone()
{
    std::fprintf(output_.messages(),
                 "vantrel-flash: nobody reads the results any more: the station takes up no further adapter\n");
}

void Report::finish(const CommandResult &result)
{
    if (!result.failure)
        return;
    const Failure &failure = *result.failure;
    std::FILE *out = output_.messages();
    switch (failure.kind) {
    case ErrorKind::usage:
        std::fprintf(out, "vantrel-flash: %s (try vantrel-flash --help)\n", terminalFromUtf8(failure.message).c_str());
        break;
    case ErrorKind::badRecording:
    case ErrorKind::recordingFailed:
    case ErrorKind::replayDiverged:
        std::fprintf(out, "vantrel-flash: %s\n", terminalFromUtf8(failure.message).c_str());
        break;
    case ErrorKind::notFound:
    case ErrorKind::ambiguous:
        std::fprintf(out, "%s\n", terminalFromLatin1(failure.message).c_str());
        break;
    case ErrorKind::unsupported:
        if (result.command == Command::info)
            std::fprintf(out, "%s\n", terminalFromLatin1(failure.message).c_str());
        break;
    default:
        // An install's or verify's adapters were shown as each was done.
        if (result.command == Command::info)
            std::fprintf(out, "Error: %s\n", terminalFromLatin1(failure.message).c_str());
        break;
    }
}
