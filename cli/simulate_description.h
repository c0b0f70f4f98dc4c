#pragma once

// --simulate VARIANT[,ITEM...]: a simulated adapter described in one word.

#include <cstddef>
#include <span>
#include <string>

#include "simulation/simulated_adapter.h"

// One ITEM that may follow the variant.
struct SimulateItem {
    const char *key;        // "serial"
    const char *valueName;  // "S", or nullptr for an item without a value ("installed")
    bool repeatable;
    const char *help;  // lines joined by "\n"
};

std::span<const SimulateItem> simulateItems();

// The adapter that `text` describes; the `index`th of the command line gets
// a serial number of its own when the text gives none. Throws UsageError.
simulation::SimulatedAdapterSetup parseSimulation(const std::string &text, std::size_t index);
