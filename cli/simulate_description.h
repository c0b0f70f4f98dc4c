#pragma once

// --simulate VARIANT[,ITEM...]: a simulated adapter described in one word.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "simulation/simulated_adapter.h"

// One ITEM that may follow the variant.
struct SimulateItem {
    const char *key;        // "serial"
    const char *valueName;  // "S", or nullptr for an item without a value ("installed")
    bool repeatable;
    const char *help;  // lines joined by "\n"
};

std::span<const SimulateItem> simulateItems();

// What may stand for VARIANT: the carried variants' names, and
// "unsupported", an adapter of the family that the updater carries no
// firmware for.
std::string simulatedVariantWords(std::string_view separator = ", ");

// The adapter that `text` describes; the `index`th of the command line gets
// a serial number of its own when the text gives none. Throws UsageError.
simulation::SimulatedAdapterSetup parseSimulation(const std::string &text, std::size_t index);
