// Printing cursors: an aligned table for people, CSV and JSON for programs.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
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

// Rows written one at a time, as the same bytes printRows writes for them:
// CSV and JSON go out at once, a table is gathered (for its column widths)
// and written by finish.
class RowWriter {
public:
    RowWriter(std::vector<std::string> columns, Format format, std::FILE* out = stdout);
    void write(const std::vector<std::string>& row);
    // The same for fields that are views of texts someone else holds.
    void write(const std::string_view* row, std::size_t count);
    void finish();
    // True once a write to the output failed (a full disk): stop producing.
    bool failed() const;

private:
    Rows table_;
    Format format_;
    std::FILE* out_;
    long written_ = 0;
};

}  // namespace rdm
