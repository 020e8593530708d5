// Printing cursors: an aligned table for people, CSV and JSON for programs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class RefDataCursor;
class QxbDatavar;

namespace rdm {

enum class Format { Table, Csv, Json };

// "table", "csv" or "json"; an empty text means table on a terminal, CSV
// otherwise. False for anything else.
bool parseFormat(const std::string& text, Format* format);

// Rows of texts with column names, for output that does not come from a cursor.
struct Rows {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> values;
};

// TEXT as a terminal may show it: control characters (C0, DEL and C1) as
// escapes ("\n", "\x1b", "\u009b"), so data never drives the terminal.
std::string displayText(const std::string& text);

// Writes every remaining row of the cursor; answers the number of rows, or
// -1 when the cursor failed (the rows before the failure are written, a
// table none).
long printCursor(RefDataCursor* cursor, Format format, std::FILE* out = stdout);
void printRows(const Rows& rows, Format format, std::FILE* out = stdout);

}  // namespace rdm
