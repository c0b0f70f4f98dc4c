#pragma once

#include <string>

// The help text, made from the command and option tables with the
// simulated variants and faults that this build knows and the error kinds
// the JSON carries.
std::string usageText();
