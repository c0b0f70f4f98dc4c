#include "update/adapter_history.h"

#include <cmath>

#include "loader/crc32.h"
#include "update/attached_adapters.h"
#include "update/firmware_image.h"

namespace {

// Where the work failed or was stopped, with how far a task over the flash
// had got; a task that moves no bytes (connect, reread) got nowhere to count.
std::optional<history::StopPoint> stopPointOf(const AdapterResult &result)
{
    if (result.stoppedIn)
        return history::StopPoint{nameOf(result.stoppedIn->task), result.stoppedIn->done, result.stoppedIn->total};
    if (result.task)
        return history::StopPoint{nameOf(*result.task), 0, 0};
    return std::nullopt;
}

}  // namespace

history::HistoryEntry historyEntryOf(const AdapterResult &result, const HistorySource &source)
{
    history::HistoryEntry entry;
    if (source.station)
        entry.station = *source.station;
    entry.program = source.program;
    entry.programVersion = source.programVersion;
    entry.serial = result.device.serialNumber;
    entry.port = portOf(result.device);
    if (const FirmwareImage *image = result.entry) {
        entry.variant = image->variantName;
        entry.carriedVersion = carriedVersion(*image);
        entry.imageCrc32 = crc32(image->image, image->imageSize);
    }
    entry.firmwareBefore = result.before;
    entry.firmwareAfter = result.after;
    entry.outcome = nameOf(result.outcome);
    if (result.failure) {
        entry.errorKind = nameOf(result.failure->kind);
        entry.message = result.failure->message;
    }
    entry.stoppedIn = stopPointOf(result);
    entry.duration = history::Milliseconds(std::llround(result.seconds * 1000));
    return entry;
}
