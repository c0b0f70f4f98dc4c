#pragma once

#include <cstdio>

namespace platform {

// True when the stream goes to an interactive terminal.
bool isTerminal(std::FILE *stream);

// The width in columns of the terminal the stream goes to; 0 when it goes
// to none, or the terminal does not tell.
int terminalColumns(std::FILE *stream);

// Opens each of standard input, output and error that the program was
// started without (a daemon or a line controller may close them) on the null
// device, so that no file the program opens later takes its place and
// receives what is meant for the closed stream.
void keepStandardStreamsOpen();

// Whether nobody reads the stream any more: a pipe whose reader has gone.
// False for a terminal or a file, and where the system cannot tell without
// writing.
bool readerGone(std::FILE *stream);

}  // namespace platform
