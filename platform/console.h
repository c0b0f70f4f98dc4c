#pragma once

#include <cstdio>

namespace platform {

// True when the stream goes to an interactive terminal.
bool isTerminal(std::FILE *stream);

}  // namespace platform
