#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/error_kind.h"
#include "cli/options.h"
#include "cli/progress_display.h"
#include "discovery/usb_device_info.h"
#include "update/install_engine.h"

class Output;

// What vantrel-flash does to one adapter.
enum class Work {
    install,
    installIfNeeded,  // compare first, write only a flash that differs
    verify,           // compare only
};

// The work the command line asks for.
Work workOf(const Options &options);

// How that went, for the report.
struct AdapterResult {
    UsbDeviceInfo device;
    const FirmwareImage *entry = nullptr;
    // installed, current, verified (successes); differs, failed, skipped, interrupted
    const char *outcome = "failed";
    std::optional<Failure> failure;
    std::optional<std::string> before;
    std::optional<std::string> after;
    std::optional<FlashComparison> comparison;
    std::optional<TaskStop> stoppedIn;
    double seconds = 0;

    bool succeeded() const { return !failure; }
    bool interrupted() const { return failure && failure->kind == ErrorKind::interrupted; }
};

// Does the work on the adapter, showing its progress; an adapter the updater
// carries no firmware for is skipped when `passOverUnsupported`, and fails
// otherwise. Never throws for a device failure or a stop: the result says.
AdapterResult workOn(const UsbDeviceInfo &device, Work work, bool passOverUnsupported, Output &output);

// The result as one JSON object.
nlohmann::json jsonOf(const AdapterResult &result, const Output &output);
// The result in a line or two for people (a success on the results, the rest
// on the messages).
void printResult(const AdapterResult &result, Output &output);
