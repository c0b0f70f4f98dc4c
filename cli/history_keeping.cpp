#include "cli/history_keeping.h"

#include "platform/device_text.h"

namespace {

// The history's messages are UTF-8 (they name files and servers); a
// Failure's message is 8-bit, as the adapters' own.
std::string latin1Message(const std::string &utf8)
{
    return platform::exactLatin1FromUtf8(utf8).value_or(platform::latin1FromUtf8(utf8));
}

// A location that can never hold a store is a mistake on the command line
// (or in the environment), found before any adapter is touched.
bool namesNoStore(history::HistoryErrorKind kind)
{
    return kind == history::HistoryErrorKind::malformedLocation || kind == history::HistoryErrorKind::unsupported;
}

}  // namespace

history::HistoryLocation historyLocationOf(const Options &options)
{
    if (options.historyLocation)
        return *options.historyLocation;
    try {
        return history::defaultLocation();
    } catch (const history::HistoryError &e) {
        if (namesNoStore(e.kind()))
            throw UsageError{std::string("VANTREL_HISTORY_URL: ") + e.what()};
        throw;
    }
}

HistoryKeeping::HistoryKeeping(const Options &options)
    : source_{"vantrel-flash", productVersion(), options.station}, required_(options.requireHistory)
{
    if (options.noHistory || options.replayFile)
        return;
    if (!options.simulate.empty() && !options.historyLocation) {
        if (options.requireHistory)
            throw UsageError{"--require-history with --simulate needs --history: a simulated run is kept only in a "
                             "store named for it"};
        return;
    }
    try {
        history_ = std::make_unique<history::History>(historyLocationOf(options));
    } catch (const history::HistoryError &e) {
        if (namesNoStore(e.kind()))
            throw UsageError{e.what()};
        unavailable_ = e;
    }
}

HistoryKeeping::~HistoryKeeping() = default;

std::optional<Failure> HistoryKeeping::refusal()
{
    if (!required_)
        return std::nullopt;
    try {
        if (unavailable_)
            throw *unavailable_;
        history_->checkWritable();
        return std::nullopt;
    } catch (const history::HistoryError &e) {
        return Failure{ErrorKind::historyFailed,
                       "--require-history: the history cannot keep a result now, so no adapter is begun: " +
                           latin1Message(e.what())};
    }
}

std::optional<HistoryKept> HistoryKeeping::keep(const AdapterResult &result)
{
    if (!keeps() || result.outcome == Outcome::skipped)
        return std::nullopt;
    HistoryKept kept;
    try {
        if (unavailable_)
            throw *unavailable_;
        const history::AppendResult appended = history_->append(historyEntryOf(result, source_));
        kept.stored = !appended.spooled();
        kept.spooled = appended.spooled();
        kept.waiting = appended.waiting;
        if (appended.spooledBecause) {
            kept.errorKind = nameOf(appended.spooledBecause->kind());
            kept.message = appended.spooledBecause->what();
        }
    } catch (const history::HistoryError &e) {
        kept.errorKind = nameOf(e.kind());
        kept.message = e.what();
    }
    return kept;
}

std::optional<Failure> HistoryKeeping::stopAfter(const AdapterResult &result) const
{
    if (!required_ || !result.history || result.history->stored)
        return std::nullopt;
    const HistoryKept &kept = *result.history;
    return Failure{ErrorKind::historyFailed,
                   "--require-history: the history did not store the last result" +
                       std::string(kept.spooled ? " (it waits in the spool)" : "") +
                       ", so no further adapter is begun: " + latin1Message(kept.message)};
}
