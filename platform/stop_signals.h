#pragma once

// The user's requests to stop a running program: SIGINT, SIGTERM and SIGHUP
// on POSIX; Ctrl-C, Ctrl-Break and the console window closing on Windows.

namespace platform {

// What a program says when a request comes: a line for the first request
// of each kind and one for a second request, which ends the program at once.
// The program keeps them alive for as long as they are in use.
struct StopNotices {
    const char *first[3];   // for SIGINT, SIGTERM, SIGHUP, in that order
    const char *second[3];
};

// From now on the first request is only noted, and its notice is written on
// standard error at once, even while the program waits on a device; the
// next request writes its notice and ends the program at once, as if nothing
// had caught it.
void catchStopRequests(const StopNotices *notices);
// The notices to say from now on, as what the program does changes.
void setStopNotices(const StopNotices *notices);

// The signal of the request noted, SIGINT, SIGTERM or SIGHUP (Ctrl-C counts as
// SIGINT, Windows' other console events as SIGTERM); 0 when none came.
int stopRequest();
// Notes a request as if it had come: a replay delivers a recorded stop so.
void noteStopRequest(int signal);
// Notes the request unless one came before: true for the first. For the
// system's handlers, and safe in a signal handler.
bool claimStopRequest(int signal);

// Where the program acts on a stop between device calls (at a piece's end,
// before looking for an adapter again), it asks here rather than
// stopRequest(): a recording keeps the place of the first stop its caller's
// lane acted on, and the replay of it gives the stop at that very place, so
// that the replayed program stops where the recorded one did.
class StopPlaces {
public:
    virtual ~StopPlaces() = default;
    // The stop to act on now, given the request noted; 0 for none.
    virtual int stopHere(int requested) = 0;
};
int stopToActOn();
// The recorder or the replay in use; null for none.
void setStopPlaces(StopPlaces *places);

// The place of the signal in StopNotices (0 to 2).
int stopNoticeIndex(int signal);
// How the system's user makes the request at that place, for messages:
// "Ctrl-C (SIGINT)".
const char *stopRequestName(int noticeIndex);

}  // namespace platform
