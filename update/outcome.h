#pragma once

#include <span>

// How the work on one adapter ended.
enum class Outcome {
    installed,    // erased, written, verified, and the adapter reports the carried version
    current,      // install --if-needed: the flash already held the carried image; nothing written
    verified,     // verify: the flash holds the carried image
    differs,      // verify: the flash differs from the carried image
    failed,
    skipped,      // an adapter the updater carries no firmware for, passed over
    interrupted,  // a stop was asked for while the work was under way
};

struct OutcomeInfo {
    Outcome outcome;
    const char *name;  // as JSON carries it
    bool success;      // the work did what it was asked to
};

std::span<const OutcomeInfo> outcomes();
const char *nameOf(Outcome outcome);
bool isSuccess(Outcome outcome);
