#pragma once

// The user's requests to stop a running program: SIGINT, SIGTERM and SIGHUP
// on POSIX; Ctrl-C, Ctrl-Break and the console window closing on Windows.

namespace platform {

// From now on the first request is only noted, and `notice` (a line, kept by
// the caller for the program's life) is written on standard error at once,
// even while the program waits on a device; the next request ends the
// program at once, as if nothing had caught it.
void catchStopRequests(const char *notice);

// The signal of the request noted, SIGINT, SIGTERM or SIGHUP (Ctrl-C counts as
// SIGINT, Windows' other console events as SIGTERM); 0 when none came.
int stopRequest();

}  // namespace platform
