#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/error_kind.h"
#include "cli/options.h"
#include "discovery/usb_device_info.h"
#include "update/attached_adapters.h"

class Output;

inline constexpr const char *notInstalledText = "Not Installed";

// Where an adapter is plugged in, as a user types it after --port: the
// device path, less the "usb:" that the libusb backend's paths begin with.
std::string portOf(const UsbDeviceInfo &device);
// The device path that `--port P` names on the backend of that name
// (platformBackend()): what portOf took off, put back.
std::string devicePathAt(const std::string &port, std::string_view backend);

// Whether the adapter is the one --serial or --port names (any, with neither).
// A serial number matches as the device's bytes, as their UTF-8 form, as
// the JSON shows them, or as the terminal shows them (escapes and all).
bool isSelected(const UsbDeviceInfo &device, const Options &options);

// What the boot loader reports as installed, read as the window's panel
// reads it: a fresh link, no connect. Throws HException.
std::optional<std::string> readInstalledVersion(const UsbDeviceInfo &device);

// One adapter as list and info show it.
struct AdapterView {
    UsbDeviceInfo device;
    const FirmwareImage *entry = nullptr;
    std::optional<std::string> installed;
    std::optional<Failure> failure;  // the loader information could not be read

    nlohmann::json toJson() const;
};

AdapterView viewOf(const UsbDeviceInfo &device);
std::vector<AdapterView> viewsOf(const DeviceList &devices);
nlohmann::json jsonOf(const std::vector<AdapterView> &views);
std::string installedColumn(const AdapterView &view);
void printTable(std::FILE *out, const std::vector<AdapterView> &views);

// The adapters a command works on: the one chosen by --serial or --port or
// the only one attached, or with --all every attached one. Nothing, with the
// failure reported and the attached adapters listed, when there is no
// unambiguous choice; `exitCode` then says why.
std::optional<DeviceList> chooseAdapters(const Options &options, Output &output, int &exitCode);

// Names the failure that ends the command in the JSON document.
void noteFailure(Output &output, const Failure &failure);

// The JSON string of device text or of text that echoes it.
nlohmann::json deviceText(const std::string &text);
nlohmann::json optionalDeviceText(const std::optional<std::string> &text);
