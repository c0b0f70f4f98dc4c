#include "cli/simulate_description.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "cli/options.h"
#include "simulation/simulated_faults.h"
#include "update/variant.h"

namespace {

constexpr std::array<SimulateItem, 7> items = {{
    {"serial", "S", false, "its serial number (default VT100001, VT100002, ... in order)"},
    {"installed", nullptr, false, "it holds the carried firmware"},
    {"damaged", "N", true, "piece N (from 0) of the installed firmware is damaged"},
    {"fault", "F", false, "it fails that way (see Simulated faults)"},
    {"port", "P", false, "it is plugged in at port P"},
    {"arrive", "T", false, "it is plugged in T seconds after the start"},
    {"leave", "T", false, "it is pulled out T seconds after the start"},
}};

// Milliseconds from a count of seconds such as "2" or "0.5".
std::uint32_t millisecondsFrom(const std::string &key, const std::string &text)
{
    double seconds = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0 && seconds <= 86400))
        throw UsageError{"--simulate " + key + " wants a number of seconds from 0 to 86400"};
    return static_cast<std::uint32_t>(std::lround(seconds * 1000));
}

std::uint32_t pieceFrom(const std::string &key, const std::string &text)
{
    std::uint32_t piece = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), piece);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw UsageError{"--simulate " + key + " wants a piece number"};
    return piece;
}

// The word that describes an adapter of the family the updater carries no
// firmware for, in place of a variant's name.
constexpr const char *unsupportedWord = "unsupported";

// A product id that no row of the variant table names.
std::uint16_t unsupportedProductId()
{
    std::uint16_t productId = 0x7F;
    while (carriedVariants().byProductId(productId))
        ++productId;
    return productId;
}

const SimulateItem *itemNamed(const std::string &key)
{
    const auto found = std::find_if(items.begin(), items.end(), [&](const SimulateItem &i) { return key == i.key; });
    return found == items.end() ? nullptr : &*found;
}

// Puts one item's value into the adapter's setup.
void applyItem(simulation::SimulatedAdapterSetup &setup, const std::string &key, const std::string &value)
{
    if (key == "installed") {
        setup.firmware = simulation::SimulatedFirmware::carried;
    } else if (key == "serial") {
        setup.serialNumber = value;
    } else if (key == "fault") {
        setup.fault = simulation::simulatedFaultNamed(value);
    } else if (key == "damaged") {
        setup.damagedPieces.push_back(pieceFrom(key, value));
    } else if (key == "port") {
        setup.port = value;
    } else if (key == "arrive") {
        setup.arriveAt = millisecondsFrom(key, value);
    } else if (key == "leave") {
        setup.leaveAt = millisecondsFrom(key, value);
    }
}

}  // namespace

std::span<const SimulateItem> simulateItems() { return items; }

std::string simulatedVariantWords(std::string_view separator)
{
    return carriedVariants().toolNames(separator) + std::string(separator) + unsupportedWord;
}

simulation::SimulatedAdapterSetup parseSimulation(const std::string &text, std::size_t index)
{
    simulation::SimulatedAdapterSetup setup;
    std::vector<std::string> keysGiven;
    std::size_t start = 0;
    for (bool first = true; start <= text.size(); first = false) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string word = text.substr(start, comma - start);
        start = comma + 1;
        if (first) {
            const Variant *variant = carriedVariants().byToolName(word);
            if (!variant && word != unsupportedWord)
                throw UsageError{"unknown variant \"" + word + "\" for --simulate"};
            setup.productId = variant ? variant->productId : unsupportedProductId();
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string key = word.substr(0, equals);
        const std::optional<std::string> value =
            equals == std::string::npos ? std::nullopt : std::optional<std::string>(word.substr(equals + 1));
        const SimulateItem *item = itemNamed(key);
        // An item with a value needs one, and one without takes none; a
        // serial number or port of nothing, or a fault of no name, is a slip.
        const bool shaped = item && (item->valueName ? value.has_value() : !value.has_value());
        const bool valueKnown = !value || !value->empty() || key == "damaged" || key == "arrive" || key == "leave";
        if (!shaped || !valueKnown || (key == "fault" && !simulation::simulatedFaultNamed(*value)))
            throw UsageError{"cannot understand \"" + word + "\" in --simulate " + text};
        if (!item->repeatable) {
            if (std::find(keysGiven.begin(), keysGiven.end(), key) != keysGiven.end())
                throw UsageError{"--simulate " + text + " gives " + key + " twice"};
            keysGiven.push_back(key);
        }
        applyItem(setup, key, value.value_or(""));
    }
    if (setup.arriveAt && setup.leaveAt && *setup.leaveAt <= *setup.arriveAt)
        throw UsageError{"--simulate " + text + " has the adapter leave before it arrives"};
    if (setup.serialNumber.empty())
        setup.serialNumber = "VT" + std::to_string(100001 + index);
    return setup;
}
