#include "update/outcome.h"

#include <array>
#include "platform/table_row.h"

namespace {

constexpr std::array<OutcomeInfo, 7> table = {{
    {Outcome::installed, "installed", true},
    {Outcome::current, "current", true},
    {Outcome::verified, "verified", true},
    {Outcome::differs, "differs", false},
    {Outcome::failed, "failed", false},
    {Outcome::skipped, "skipped", false},
    {Outcome::interrupted, "interrupted", false},
}};

const OutcomeInfo &infoOf(Outcome outcome)
{
    const OutcomeInfo *info = rowWhere(table, &OutcomeInfo::outcome, outcome);
    return info ? *info : table[4];
}

}  // namespace

std::span<const OutcomeInfo> outcomes() { return table; }
const char *nameOf(Outcome outcome) { return infoOf(outcome).name; }
bool isSuccess(Outcome outcome) { return infoOf(outcome).success; }
