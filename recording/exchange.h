#pragma once

// One recorded session at the platform seam, as data: what the program asked
// of the backend, in order, with what the backend answered. The recorder
// makes these, the file format writes and reads them, and the replay answers
// from them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_call.h"
#include "platform/usb_backend.h"

namespace recording {

// The format's version, written in the first line of every recording.
// Version 2 adds the stop the user asked for: on the wait it ended, and on
// the end line. Version 3 adds the lane of a call made in the work on one of
// several adapters at once, and the place where the program acted on a stop
// between calls. Older recordings, which have neither, still replay.
inline constexpr int formatVersion = 3;
inline constexpr int oldestFormatVersion = 1;
// The first version that keeps where the program acted on a stop between calls.
inline constexpr int firstVersionWithStopPlaces = 3;

// What the first line says: the command that was recorded, as the program's
// arguments without the recording options, and whether identities were
// replaced by placeholders.
struct RecordingHeader {
    int version = formatVersion;
    std::vector<std::string> command;
    bool anonymised = false;
    // What the session ran on ("libusb", "simulated", ...): for the reader.
    std::string backend;
};

// The calls a recording holds: those of the device interfaces.
using Operation = platform::DeviceOperation;

// Handles as the recording numbers them: 1, 2, 3 ... in the order the backend
// issued them, whatever its own values were. 0 stands for a handle the
// backend never issued.
using HandleId = std::uint32_t;

// One call through the seam. Which members matter depends on the operation;
// the rest keep their defaults.
struct Exchange {
    Operation operation = Operation::list;
    // Microseconds on the installed clock since the previous exchange ended
    // (since the recording began, for the first).
    std::int64_t elapsedMicroseconds = 0;
    // Whose call it was: 0 for the program's own thread, n for the work on
    // the n-th adapter it took up in a thread of its own (platform::callLane).
    unsigned lane = 0;

    // What the program asked.
    platform::DeviceClass deviceClass = platform::DeviceClass::usbDevice;  // list
    std::string devicePath;                        // open
    platform::Pipe pipeEnd = platform::Pipe::in;   // open
    HandleId pipe = 0;                             // read, write, result, cancel, reset, vendor
    HandleId slot = 0;                             // read, write, wait, result, cancel
    std::uint32_t size = 0;                        // read, write: bytes asked for
    std::uint32_t crc = 0;                         // write: CRC-32 of the bytes written
    std::uint32_t timeoutMilliseconds = 0;         // wait
    std::uint32_t request = 0, value = 0, index = 0;  // vendor

    // What the backend answered.
    std::vector<platform::DeviceEntry> entries;                     // list
    platform::OpenOutcome outcome = platform::OpenOutcome::opened;  // open
    // open (when opened), slot (0: none could be made); close: the handle closed
    HandleId handle = 0;
    bool ok = false;               // read, write: went pending; wait: completed; reset, vendor: done
    // wait: the signal of the stop that ended it, 0 for none; stop: the
    // signal of the stop the program acted on
    int stopSignal = 0;
    std::optional<std::uint32_t> bytes;  // result: nothing when not fetchable
    std::vector<std::uint8_t> data;      // result of a read: the bytes read, in full
};

// A whole recording, as read from a file.
struct Recording {
    RecordingHeader header;
    std::vector<Exchange> exchanges;
    // Microseconds from the last exchange to the end of the session.
    std::int64_t trailingMicroseconds = 0;
    // The signal of a stop the user asked for during the session, 0 for none.
    int stopSignal = 0;
};

// What the program asked in `call`: its handles as `idOf` numbers them, and
// the bytes of a write as their CRC-32.
Exchange askedIn(const platform::DeviceCall &call, const std::function<HandleId(platform::Handle)> &idOf);

}  // namespace recording
