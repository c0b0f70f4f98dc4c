#pragma once

#include "cli/options.h"

class DeviceSession;
class Output;

int runList(const Options &options, Output &output);
int runInfo(const Options &options, Output &output);
// install and verify, on the chosen adapters one after the other.
int runOnAdapters(const Options &options, Output &output);
// install --wait: one adapter after another as they are plugged in, until
// stopped, N are done, or a replay has no more to show.
int runStation(const Options &options, Output &output, const DeviceSession &session);
