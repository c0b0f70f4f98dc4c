#pragma once

#include <string>

// SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break and the console closing on
// Windows) ask vantrel-flash to stop: the first says so on standard error at
// once and stops what is under way, a second ends the program at once.
void catchStopSignals();

// What the tool is doing, so that a stop says what it stops.
enum class StopState {
    idle,     // no adapter being worked on (a station waiting, a command starting)
    working,  // the work on an adapter is under way
};
void setStopState(StopState state);
// Where a recording is left unfinished should a second stop end the tool.
void setUnfinishedRecording(const std::string &path);

// The signal that asked for a stop, or 0.
int stopSignal();

// The exit code after a stop by that signal: 128 and its number, as shells
// report a program that the signal ended (130 for SIGINT, 143 for SIGTERM).
int exitCodeAfter(int signal);
