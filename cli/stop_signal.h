#pragma once

// SIGINT and SIGTERM ask vantrel-flash to stop at the next safe point: the
// loader command under way finishes, the link is closed, the report is
// written. The first one says so on standard error at once; a second one of
// either kind ends the program at once.
void catchStopSignals();

// The signal that asked for a stop, or 0.
int stopSignal();

// The exit code after a stop by that signal: 128 and its number, as shells
// report a program that the signal ended (130 for SIGINT, 143 for SIGTERM).
int exitCodeAfter(int signal);
