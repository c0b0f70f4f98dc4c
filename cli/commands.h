#pragma once

#include "cli/command_result.h"
#include "cli/options.h"

class DeviceSession;
class Output;
class Report;

CommandResult runList(const Options &options, Report &report);
CommandResult runInfo(const Options &options, Report &report);
// install and verify, on the chosen adapters one after the other.
CommandResult runOnAdapters(const Options &options, Report &report, const DeviceSession &session);
// install --wait: one adapter after another as they are plugged in, until
// stopped, N are done, or a replay has no more to show.
CommandResult runStation(const Options &options, Report &report, Output &output, const DeviceSession &session);

// The work the command line asks for.
Work workOf(const Options &options);
