#include "cli/text_table.h"

#include <algorithm>

#include "platform/device_text.h"

void printTable(std::FILE *out, const std::vector<TableRow> &rows)
{
    if (rows.empty())
        return;
    std::vector<std::size_t> widths(rows.front().size());
    for (const TableRow &row : rows)
        for (std::size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], platform::terminalColumnsOf(row[column]));
    for (const TableRow &row : rows) {
        std::string line;
        for (std::size_t column = 0; column + 1 < row.size(); ++column)
            line += row[column] + std::string(widths[column] - platform::terminalColumnsOf(row[column]) + 1, ' ');
        line += row.back();
        std::fprintf(out, "%s\n", line.c_str());
    }
}
