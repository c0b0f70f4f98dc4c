#pragma once

// The history's entries as the text report shows them: a table for people,
// one line an entry, newest last.

#include <cstdio>
#include <string>
#include <vector>

#include "history/history_entry.h"

void printHistory(std::FILE *out, const std::vector<history::HistoryEntry> &entries);

// The time as the station's clock read it: "2025-05-20 15:45:12 +02:00".
std::string stationTimeText(history::TimePoint time, int utcOffsetMinutes);
