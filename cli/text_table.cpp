#include "cli/text_table.h"

#include <algorithm>

namespace {

// The columns a terminal gives safe text: one for each character, whatever
// the length of its UTF-8.
std::size_t columnsOf(const std::string &shown)
{
    return static_cast<std::size_t>(std::count_if(
        shown.begin(), shown.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

void printTable(std::FILE *out, const std::vector<TableRow> &rows)
{
    if (rows.empty())
        return;
    std::vector<std::size_t> widths(rows.front().size());
    for (const TableRow &row : rows)
        for (std::size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], columnsOf(row[column]));
    for (const TableRow &row : rows) {
        std::string line;
        for (std::size_t column = 0; column + 1 < row.size(); ++column)
            line += row[column] + std::string(widths[column] - columnsOf(row[column]) + 1, ' ');
        line += row.back();
        std::fprintf(out, "%s\n", line.c_str());
    }
}
