#pragma once

#include "cli/command_result.h"
#include "cli/options.h"

// vantrel-flash history: the entries that the query keeps, oldest first
// (newest last), from the store of --history or the default one.
CommandResult runHistory(const Options &options);
