// Printing cursors and rows as a table, CSV or JSON.
#include "output.h"

#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "RefDataCursor.h"
#include "qxbcpp.h"
#include "rdm.h"

namespace rdm {
namespace {

// Appends a field as it is, or in quotes (a quote doubled) when it holds a
// separator, a quote or a line break.
void appendCsvField(std::string& line, std::string_view text) {
    const bool plain = std::none_of(text.begin(), text.end(), [](char c) {
        return c == ',' || c == '"' || c == '\r' || c == '\n';
    });
    if (plain) {
        line += text;
        return;
    }
    line += '"';
    for (const char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

// The line is put together first and written with one call: a long listing
// writes millions of fields. Text is std::string or std::string_view.
template <typename Text>
void printCsvLine(const Text* fields, std::size_t count, std::FILE* out) {
    static thread_local std::string line;
    line.clear();
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) line += ',';
        appendCsvField(line, std::string_view(fields[i].data(), fields[i].size()));
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out);
}

void printCsvLine(const std::vector<std::string>& fields, std::FILE* out) {
    printCsvLine(fields.data(), fields.size(), out);
}

nlohmann::ordered_json jsonValue(const QxbDatavar& value) {
    switch (value.type()) {
        case QXB_TYPE_NULL: return nullptr;
        case QXB_TYPE_BOOL: return value.asBool();
        case QXB_TYPE_INT:
        case QXB_TYPE_INT64: return value.asInt64();
        case QXB_TYPE_DOUBLE: return value.asDouble();
        default: break;
    }
    // Texts are kept as bytes; invalid UTF-8 is replaced rather than refused.
    return value.asString().str();
}

std::string jsonText(const nlohmann::ordered_json& json) {
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Display width of a UTF-8 text: continuation bytes take no column.
std::size_t displayWidth(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void printTable(const Rows& given, std::FILE* out) {
    Rows rows;
    for (const std::string& name : given.columns) rows.columns.push_back(displayText(name));
    for (const auto& row : given.values) {
        std::vector<std::string> shown;
        for (const std::string& field : row) shown.push_back(displayText(field));
        rows.values.push_back(std::move(shown));
    }
    std::vector<std::size_t> widths;
    for (const std::string& name : rows.columns) widths.push_back(displayWidth(name));
    for (const auto& row : rows.values)
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(row[c]));
    auto printLine = [&](const std::vector<std::string>& fields) {
        std::string line;
        for (std::size_t c = 0; c < fields.size(); ++c) {
            if (c > 0) line += "  ";
            line += fields[c];
            if (c + 1 < fields.size()) line.append(widths[c] - displayWidth(fields[c]), ' ');
        }
        std::fprintf(out, "%s\n", line.c_str());
    };
    printLine(rows.columns);
    std::vector<std::string> rule;
    for (const std::size_t w : widths) rule.emplace_back(w, '-');
    printLine(rule);
    for (const auto& row : rows.values) {
        if (outputFailed(out)) return;
        printLine(row);
    }
}

std::vector<std::string> columnNames(RefDataCursor* cursor) {
    std::vector<std::string> names;
    for (int c = 0; c < cursor->getColumnCount(); ++c) names.push_back(cursor->getColumnName(c).str());
    return names;
}

}  // namespace

std::string displayText(const std::string& text) {
    static const char* const kHex = "0123456789abcdef";
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
            const unsigned char next = static_cast<unsigned char>(text[++i]);  // U+0080..U+009F
            shown += std::string("\\u00") + kHex[next >> 4] + kHex[next & 0xF];
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            shown += std::string("\\x") + kHex[c >> 4] + kHex[c & 0xF];
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

bool parseFormat(const std::string& text, Format* format) {
    if (text.empty()) {
        *format = isatty(fileno(stdout)) ? Format::Table : Format::Csv;
        return true;
    }
    if (text == "table") *format = Format::Table;
    else if (text == "csv") *format = Format::Csv;
    else if (text == "json") *format = Format::Json;
    else return false;
    return true;
}

long printCursor(RefDataCursor* cursor, Format format, std::FILE* out) {
    const std::vector<std::string> names = columnNames(cursor);
    const int columns = static_cast<int>(names.size());
    long count = 0;
    int answer = 1;  // 1 at the end of the rows; anything but 0 or 1 is an error
    if (format == Format::Json) {
        // Values keep their types here (numbers stay numbers), one object a line.
        std::fputc('[', out);
        while (!outputFailed(out) && (answer = cursor->next()) == 0) {
            nlohmann::ordered_json object = nlohmann::ordered_json::object();
            for (int c = 0; c < columns; ++c) object[names[static_cast<std::size_t>(c)]] = jsonValue(cursor->getValue(c));
            std::fprintf(out, "%s%s", count == 0 ? "\n" : ",\n", jsonText(object).c_str());
            ++count;
        }
        std::fputs(count == 0 ? "]\n" : "\n]\n", out);
        return answer == 0 || answer == 1 ? count : -1;
    }
    // CSV streams (a large domain is never held as text); a table is
    // written only once every row has been read.
    RowWriter writer(names, format, out);
    std::vector<std::string> fields(names.size());
    // A failed write ends the walk: a full disk takes no more rows.
    while (!writer.failed() && (answer = cursor->next()) == 0) {
        for (int c = 0; c < columns; ++c) fields[static_cast<std::size_t>(c)] = cursor->getString(c).str();
        writer.write(fields);
        ++count;
    }
    if (answer != 0 && answer != 1) return -1;
    writer.finish();
    return count;
}

void printRows(const Rows& rows, Format format, std::FILE* out) {
    RowWriter writer(rows.columns, format, out);
    for (const auto& row : rows.values) {
        if (writer.failed()) break;
        writer.write(row);
    }
    writer.finish();
}

RowWriter::RowWriter(std::vector<std::string> columns, Format format, std::FILE* out)
    : format_(format), out_(out) {
    table_.columns = std::move(columns);
    if (format_ == Format::Csv) printCsvLine(table_.columns, out_);
    if (format_ == Format::Json) std::fputc('[', out_);
}

void RowWriter::write(const std::vector<std::string>& row) {
    switch (format_) {
        case Format::Table: table_.values.push_back(row); break;
        case Format::Csv: printCsvLine(row, out_); break;
        case Format::Json: {
            nlohmann::ordered_json object = nlohmann::ordered_json::object();
            for (std::size_t c = 0; c < row.size() && c < table_.columns.size(); ++c) object[table_.columns[c]] = row[c];
            std::fprintf(out_, "%s%s", written_ == 0 ? "" : ",", jsonText(object).c_str());
            break;
        }
    }
    ++written_;
}

void RowWriter::write(const std::string_view* row, std::size_t count) {
    if (format_ == Format::Csv) {
        printCsvLine(row, count, out_);
        ++written_;
        return;
    }
    write(std::vector<std::string>(row, row + count));
}

void RowWriter::finish() {
    if (format_ == Format::Table) printTable(table_, out_);
    if (format_ == Format::Json) std::fputs("]\n", out_);
}

bool RowWriter::failed() const { return outputFailed(out_); }

}  // namespace rdm
