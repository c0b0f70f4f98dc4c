#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "discovery/usb_device_info.h"
#include "update/adapter_reading.h"
#include "update/attached_adapters.h"

// Whether the adapter is the one --serial or --port names (any, with neither).
// A serial number matches as the device's bytes, as their UTF-8 form, as
// the JSON shows them, or as the terminal shows them (escapes and all).
bool isSelected(const UsbDeviceInfo &device, const Options &options);

// The adapters a command works on: the one chosen by --serial or --port or
// the only one attached, or with --all every attached one. Or, when there
// is no unambiguous choice, why not and the adapters there are to choose
// from.
struct AdapterChoice {
    DeviceList chosen;
    std::optional<Failure> failure;  // not-found or ambiguous
    std::vector<AdapterView> candidates;
};

AdapterChoice chooseAdapters(const Options &options);
