#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "history/history_entry.h"
#include "update/adapter_reading.h"
#include "update/adapter_work.h"

// What a command came to: a value that the report renders as text or JSON.
struct CommandResult {
    std::optional<Command> command;  // none when the command line could not be read
    std::optional<Failure> failure;  // what ended the command, or its first failure
    int exitCode = exitSuccess;
    bool started = false;  // it got as far as its work on the adapters
    std::vector<AdapterView> listed;  // list and info
    std::vector<AdapterResult> results;  // install and verify, in the order they were done
    // The adapters to choose from, when the command found no one adapter to work on.
    std::vector<AdapterView> candidates;
    std::vector<history::HistoryEntry> entries;  // history, oldest first
};

// The CommandResult of a failure that nothing else goes with.
inline CommandResult failedCommand(std::optional<Command> command, Failure failure, int exitCode)
{
    CommandResult result;
    result.command = command;
    result.failure = std::move(failure);
    result.exitCode = exitCode;
    return result;
}
