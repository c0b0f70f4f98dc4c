#include "cli/report.h"

#include "cli/stop_signal.h"
#include "platform/console.h"
#include "platform/device_text.h"
#include "platform/stop_signals.h"

using platform::terminalFromLatin1;
using platform::terminalFromUtf8;

Report::~Report() { output_.setBoard(nullptr); }

void Report::workBegins(const UsbDeviceInfo &device) { serial_ = terminalFromLatin1(device.serialNumber); }

void Report::stillWaiting(std::uint32_t waitedMilliseconds, std::uint32_t leftMilliseconds)
{
    tellStillWaiting(serial_, waitedMilliseconds, leftMilliseconds);
}

void Report::tellStillWaiting(const std::string &serial, std::uint32_t waitedMilliseconds,
                              std::uint32_t leftMilliseconds)
{
    std::fprintf(output_.messages(),
                 "vantrel-flash: %s has not answered for %.0f s; waiting up to %.0f s more (--timeout sets how "
                 "long), Ctrl-C stops\n",
                 serial.c_str(), waitedMilliseconds / 1000.0, leftMilliseconds / 1000.0);
}

Report::Hold::Hold(Report &report) : report_(report)
{
    report_.mutex_.lock();
    ++report_.holds_;
}

Report::Hold::~Hold()
{
    if (--report_.holds_ == 0 && report_.board_)
        report_.board_->restore();
    report_.mutex_.unlock();
}

std::unique_ptr<Report::Slot> Report::slotFor(unsigned slot, const UsbDeviceInfo &device)
{
    const Hold hold(*this);
    if (!severalAtOnce_) {
        severalAtOnce_ = true;
        std::FILE *progress = progressOnMessages_ ? stderr : stdout;
        if (platform::canRewriteLines(progress)) {
            board_ = std::make_unique<SlotBoard>(progress);
            output_.setBoard(board_.get());
        }
    }
    return std::make_unique<Slot>(*this, slot, device, board_.get());
}

void Report::slotEmptied(unsigned slot)
{
    const Hold hold(*this);
    if (board_)
        board_->remove(slot);
}

Report::Slot::Slot(Report &report, unsigned slot, const UsbDeviceInfo &device, SlotBoard *board)
    : report_(report),
      slot_(slot),
      serial_(terminalFromLatin1(device.serialNumber)),
      board_(board),
      progress_(report.output_, report.progressOnMessages_, serial_, board, slot)
{
}

void Report::Slot::workStarted(const AdapterResult &soFar)
{
    const Hold hold(report_);
    report_.workStarted(soFar);
}

void Report::Slot::taskStarted(InstallTask task, int bytes)
{
    const Hold hold(report_);
    progress_.taskStarted(task, bytes);
}

void Report::Slot::taskProgress(int bytesDone)
{
    const Hold hold(report_);
    progress_.taskProgress(bytesDone);
}

void Report::Slot::taskEndedEarly(int bytesDone)
{
    const Hold hold(report_);
    progress_.taskEndedEarly(bytesDone, stopSignal() != 0);
}

bool Report::Slot::stopRequested() { return platform::stopToActOn() != 0; }

void Report::Slot::stillWaiting(std::uint32_t waitedMilliseconds, std::uint32_t leftMilliseconds)
{
    const Hold hold(report_);
    report_.tellStillWaiting(serial_, waitedMilliseconds, leftMilliseconds);
}

void Report::Slot::ended(const AdapterResult &result)
{
    if (!board_)
        return;
    const Hold hold(report_);
    std::string line = serial_ + ": " + nameOf(result.outcome);
    if (result.succeeded() && result.after) {
        // Appended in two steps: GCC 12's optimiser warns falsely of an
        // overlap in " " + a temporary string.
        line += ' ';
        line += terminalFromLatin1(*result.after);
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " (%.1f s)", result.seconds);
    line += seconds;
    if (report_.station_)
        line += ", remove it";
    board_->show(slot_, line, true);
}

void Report::taskEndedEarly(int bytesDone) { progress_.taskEndedEarly(bytesDone, stopSignal() != 0); }

bool Report::stopRequested() { return platform::stopToActOn() != 0; }

void Report::adapterDone(const AdapterResult &result, std::optional<unsigned>)
{
    tellFailure(result);
    tellHistory(result);
}

void Report::tellFailure(const AdapterResult &result)
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
    else if (severalAtOnce_)
        std::fprintf(out, "Error: %s: %s\n", serial.c_str(), message.c_str());  // which of them failed
    else
        std::fprintf(out, "Error: %s\n", message.c_str());
    // What the interruption message says of the flash, a failure says too.
    if (result.flash == FlashLeft::partlyWritten && result.outcome == Outcome::failed)
        std::fprintf(out, "%s %s %s left partly written; vantrel-flash install again repairs it\n",
                     result.entry->variantName, serial.c_str(),
                     result.task == InstallTask::verify ? "may be" : "is");
}

void Report::tellHistory(const AdapterResult &result)
{
    if (!result.history || result.history->stored)
        return;
    const HistoryKept &kept = *result.history;
    const std::string serial = terminalFromLatin1(result.device.serialNumber);
    const std::string why = terminalFromUtf8(kept.message);
    if (kept.spooled)
        std::fprintf(output_.messages(), "vantrel-flash: the history entry for %s waits in the spool: %s (%zu waiting)\n",
                     serial.c_str(), why.c_str(), kept.waiting);
    else
        std::fprintf(output_.messages(), "vantrel-flash: the history could not keep the entry for %s: %s\n",
                     serial.c_str(), why.c_str());
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
    // The slots' lines have had their say: the results stay.
    if (board_) {
        board_->lift();
        output_.setBoard(nullptr);
        board_.reset();
    }
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
    case ErrorKind::historyFailed:
        std::fprintf(out, "vantrel-flash: %s\n", terminalFromLatin1(failure.message).c_str());
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
