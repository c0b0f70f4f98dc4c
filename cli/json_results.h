#pragma once

// vantrel-flash's results as JSON, in the shape docs/json.md describes and
// packaging/vantrel-flash.schema.json checks.

#include <nlohmann/json.hpp>

#include "cli/command_result.h"

// Goes up with every change a script could trip over.
inline constexpr int jsonFormatVersion = 2;

// An adapter as list, info and the candidates of a choice show it; info
// adds its device strings and the carried image's details.
nlohmann::json jsonOf(const AdapterView &view, bool detailed);
// An adapter that install or verify worked on.
nlohmann::json jsonOf(const AdapterResult &result);
// A station's line for one adapter: its result, numbered.
nlohmann::json stationLineOf(const AdapterResult &result, unsigned sequence);
// The one document of a command, on every path.
nlohmann::json documentOf(const CommandResult &result);
