#pragma once

#include "cli/command_result.h"
#include "cli/options.h"

class DeviceSession;
class HistoryKeeping;
class Output;
class Report;

CommandResult runList(const Options &options, Report &report);
CommandResult runInfo(const Options &options, Report &report);
// install and verify: on the chosen adapter, or with --all on every one at
// once; each result kept in the history.
CommandResult runOnAdapters(const Options &options, Report &report, const DeviceSession &session,
                            HistoryKeeping &history);
// install --wait: each adapter as it is plugged in, while others are still
// being worked on, until stopped, N are done, or a replay has no more to
// show; each result kept in the history.
CommandResult runStation(const Options &options, Report &report, Output &output, const DeviceSession &session,
                         HistoryKeeping &history);

// The work the command line asks for.
Work workOf(const Options &options);
