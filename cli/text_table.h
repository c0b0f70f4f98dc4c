#pragma once

// A table for a terminal: each column as wide as its widest cell, so that no
// serial number or message, however long, pushes the columns after it out of
// line. Cells are text made safe for a terminal (platform/device_text.h).

#include <cstdio>
#include <string>
#include <vector>

using TableRow = std::vector<std::string>;

// The rows, the first being the headings, every row as long as that one.
void printTable(std::FILE *out, const std::vector<TableRow> &rows);
