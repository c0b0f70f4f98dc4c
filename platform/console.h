#pragma once

#include <cstdio>

namespace platform {

// True when the stream goes to an interactive terminal.
bool isTerminal(std::FILE *stream);

// The width in columns of the terminal the stream goes to; 0 when it goes
// to none, or the terminal does not tell.
int terminalColumns(std::FILE *stream);

}  // namespace platform
