#include "cli/history_command.h"

#include <algorithm>
#include <filesystem>

#include "cli/history_keeping.h"
#include "platform/device_text.h"

namespace {

CommandResult historyFailure(const std::string &utf8Message)
{
    // The history's lines are UTF-8; a Failure's are 8-bit.
    return failedCommand(
        Command::history,
        {ErrorKind::historyFailed,
         platform::exactLatin1FromUtf8(utf8Message).value_or(platform::latin1FromUtf8(utf8Message))},
        exitHistory);
}

// What --serial S may mean, as when an adapter is chosen by it: the bytes
// typed, or the device text whose UTF-8 form (as the JSON and the terminal
// show it) was typed, or the text as the terminal shows it (\x1B for an
// escape byte). None: every serial number.
std::vector<std::optional<std::string>> serialsMeant(const std::optional<std::string> &typed)
{
    if (!typed)
        return {std::nullopt};
    std::vector<std::optional<std::string>> serials{*typed};
    for (const std::optional<std::string> &meant :
         {platform::exactLatin1FromUtf8(*typed), platform::latin1FromTerminal(*typed)})
        if (meant && std::find(serials.begin(), serials.end(), *meant) == serials.end())
            serials.emplace_back(*meant);
    return serials;
}

}  // namespace

CommandResult runHistory(const Options &options)
{
    if (options.since && options.until && *options.since >= *options.until)
        return failedCommand(Command::history, {ErrorKind::usage, "--since is not before --until: no entry is both"},
                             exitUsage);
    history::HistoryLocation location;
    try {
        location = historyLocationOf(options);
    } catch (const UsageError &e) {
        return failedCommand(Command::history, {ErrorKind::usage, e.message}, exitUsage);
    } catch (const history::HistoryError &e) {
        return historyFailure(e.what());
    }
    CommandResult result;
    result.command = Command::history;
    // A file that is not there holds no history yet; one that was named is
    // more likely mistyped than new. Asking makes neither.
    try {
        history::History history(location);
        std::error_code missing;
        if (location.kind == history::HistoryLocation::Kind::file && !std::filesystem::exists(location.file, missing)) {
            if (options.historyLocation)
                return historyFailure("there is no history file " + history.description());
            result.started = true;
            return result;
        }
        history::HistoryFilter filter{
            .since = options.since, .until = options.until, .outcome = options.outcome, .station = options.station};
        for (const std::optional<std::string> &serial : serialsMeant(options.serialNumber)) {
            filter.serial = serial;
            std::vector<history::HistoryEntry> found = history.query(filter);
            result.entries.insert(result.entries.end(), found.begin(), found.end());
        }
    } catch (const history::HistoryError &e) {
        return historyFailure(e.what());
    }
    // Newest last, whichever serial number each was found by.
    std::stable_sort(result.entries.begin(), result.entries.end(),
                     [](const history::HistoryEntry &a, const history::HistoryEntry &b) { return a.time < b.time; });
    result.started = true;
    return result;
}
