#include "app/files/csv_row.h"

#include "app/files/exact_text.h"

namespace gravlag {

void AppendCsvRow(std::string& rows, const CsvRow& row)
{
    for (std::size_t i = 0; i < row.wholeCount; ++i) {
        if (i > 0)
            rows += ',';
        rows += std::to_string(row.wholes[i]);
    }
    for (std::size_t i = 0; i < row.numberCount; ++i) {
        rows += ',';
        if (row.numbers[i])
            AppendExactText(rows, *row.numbers[i]);
    }
    rows += '\n';
}

} // namespace gravlag
