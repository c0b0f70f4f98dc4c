#pragma once

// What the replay asks of a recorded operation: whether a call asks for the
// same, and how a call reads in a message. Both come from the one table of
// operations (operations.cpp) that the file's writer and reader go by too.

#include <string>

#include "recording/exchange.h"

namespace recording {

// Whether the program asked for what was recorded: the same operation with
// the same arguments. Outcomes are the recording's to give.
bool sameRequest(const Exchange &recorded, const Exchange &asked);

// What the program asked, in words: "a read of 2 bytes". `detailed` adds
// every argument, for two requests that read alike without them.
std::string describe(const Exchange &exchange, bool detailed);

}  // namespace recording
