#pragma once

#include "cli/options.h"

class Output;

int runList(const Options &options, Output &output);
int runInfo(const Options &options, Output &output);
// install and verify, on the chosen adapters one after the other.
int runOnAdapters(const Options &options, Output &output);
// install --wait: one adapter after another as they are plugged in.
int runStation(const Options &options, Output &output);
