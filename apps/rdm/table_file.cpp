// Reading CSV, JSON and JSON Lines files for rdm import and rdm edit.
#include "table_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "formats.h"
#include "qxbcpp.h"
#include "qxsstr.h"

namespace rdm {
namespace {

std::string located(const std::string& path, long line, const std::string& reason) {
    return path + ":" + std::to_string(line) + ": " + reason;
}

// Splits one CSV record into all of its fields: a record of N bytes has at
// most N + 1 of them.
std::vector<std::string> splitCsv(const std::string& record) {
    std::vector<char> buffer(record.size() + 1);
    std::vector<char*> fields(record.size() + 1);
    const int count = qxs_parse_text_ex(record.c_str(), fields.data(), static_cast<int>(fields.size()),
                                        buffer.data(), static_cast<int>(buffer.size()), ',', '"');
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) out.emplace_back(fields[static_cast<std::size_t>(i)]);
    return out;
}

// Follows a record line by line as the parser reads it, to tell whether it
// ends inside a quoted field (the record then goes on on the next line) and
// whether a CR stands outside one (a file with CR-only line ends).
class RecordScanner {
public:
    void feed(const char* text) {
        for (const char* p = text; *p != '\0'; ++p) {
            if (quoted_) {
                if (*p != '"') continue;
                if (p[1] == '"') ++p;  // a doubled quote is one quote character
                else quoted_ = false;
            } else if (*p == ',') {
                fieldStart_ = true;
            } else {
                if (*p == '\r') strayCr_ = true;
                quoted_ = fieldStart_ && *p == '"';
                fieldStart_ = false;
            }
        }
    }
    bool insideQuotes() const { return quoted_; }
    bool strayCr() const { return strayCr_; }
    void reset() { *this = RecordScanner(); }

private:
    bool quoted_ = false;
    bool fieldStart_ = true;
    bool strayCr_ = false;
};

// The first line names the columns; a name may appear once.
bool takeHeader(const std::string& path, long line, std::vector<std::string> fields, TableFile* table,
                std::string* error) {
    std::vector<std::string> sorted = fields;
    std::sort(sorted.begin(), sorted.end());
    const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
    if (twice != sorted.end()) {
        *error = located(path, line, "the column '" + *twice + "' appears twice");
        return false;
    }
    table->columns = std::move(fields);
    return true;
}

bool takeRecord(const std::string& path, long line, const std::string& record, TableFile* table,
                std::string* error) {
    std::vector<std::string> fields = splitCsv(record);
    if (table->columns.empty()) return takeHeader(path, line, std::move(fields), table, error);
    if (fields.size() != table->columns.size()) {
        *error = located(path, line,
                         "expected " + std::to_string(table->columns.size()) + " fields, found " +
                             std::to_string(fields.size()));
        return false;
    }
    table->rows.push_back(std::move(fields));
    table->lines.push_back(line);
    table->present.emplace_back(table->columns.size(), true);
    return true;
}

std::string readFailure(const std::string& path, long line) {
    if (errno == EOVERFLOW) return located(path, line, "the line is longer than 1 MiB");
    return path + ": the file could not be read: " + std::strerror(errno != 0 ? errno : EIO);
}

// A quoted field may span lines (its line ends are read as LF); a record is
// numbered by the line it starts on.
bool readCsv(const std::string& path, TableFile* table, std::string* error) {
    QxbString openError;
    QxbTxtFile* file = qxbTxtFileOpen(path.c_str(), QXB_TXT_READ, -1, 0, &openError);
    if (file == nullptr) {
        *error = openError.str();
        return false;
    }
    std::string record;
    RecordScanner scanner;
    char* line = nullptr;
    long number = 0;
    long recordLine = 0;
    bool ok = true;
    int read = 0;
    while (ok && (read = file->readLine(-1, &line, 0)) > 0) {
        ++number;
        if (std::strlen(line) + 1 != static_cast<std::size_t>(read)) {
            *error = located(path, number, "the line holds a NUL byte, which no text holds");
            ok = false;
            break;
        }
        if (scanner.insideQuotes()) {
            record += '\n';
            record += line;
        } else {
            if (*line == '\0') continue;  // blank lines separate nothing
            record = line;
            recordLine = number;
        }
        scanner.feed(line);
        if (scanner.strayCr()) {
            *error = located(path, number, "a CR outside a quoted field: line ends are LF or CRLF, not CR alone");
            ok = false;
        } else if (!scanner.insideQuotes()) {
            ok = takeRecord(path, recordLine, record, table, error);
            scanner.reset();
        }
    }
    if (ok && read < 0) {
        *error = readFailure(path, number + 1);
        ok = false;
    }
    file->close();
    if (ok && scanner.insideQuotes()) {
        *error = located(path, recordLine, "a quoted field is not closed before the end of the file");
        ok = false;
    }
    if (ok && table->columns.empty()) {
        *error = path + ": the file is empty";
        ok = false;
    }
    return ok;
}

// Builds the table straight from the JSON parser's events: an array of flat
// objects, columns in the order they are first seen. Numbers keep the text
// they were written with (1.10 stays 1.10; a 30-digit key stays whole).
class JsonTableReader {
public:
    JsonTableReader(const std::string& path, TableFile* table, std::string* error)
        : path_(path), table_(table), error_(error) {}

    bool null() { return value(std::string(), false); }
    bool boolean(bool flag) { return value(flag ? "true" : "false", true); }
    bool number_integer(std::int64_t number) { return value(std::to_string(number), true); }
    bool number_unsigned(std::uint64_t number) { return value(std::to_string(number), true); }
    bool number_float(double, const std::string& text) { return value(text, true); }
    bool string(std::string& text) { return value(text, true); }
    bool binary(nlohmann::json::binary_t&) { return value(std::string(), false); }  // not in JSON text

    bool start_array(std::size_t) {
        if (depth_ == 0) {
            depth_ = 1;
            return true;
        }
        return nested();
    }
    bool end_array() {
        depth_ = 0;
        return true;
    }
    bool start_object(std::size_t) {
        if (depth_ != 1) return nested();
        depth_ = 2;
        ++element_;
        table_->rows.emplace_back(table_->columns.size());
        table_->present.emplace_back(table_->columns.size(), false);
        table_->lines.push_back(element_);
        return true;
    }
    bool end_object() {
        depth_ = 1;
        return true;
    }
    bool key(std::string& name) {
        if (name.find('\0') != std::string::npos)
            return refuse(located(path_, element_, "a field name holds a NUL byte, which no text holds"));
        const auto found = index_.emplace(name, table_->columns.size());
        if (found.second) table_->columns.push_back(name);
        column_ = found.first->second;
        return true;
    }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
        if (line_ > 0) return refuse(located(path_, line_, "not valid JSON (at byte " + std::to_string(position) + ")"));
        return refuse(path_ + ": not valid JSON (at byte " + std::to_string(position) + ")");
    }

    // JSON Lines: the next object stands alone on line LINE, as an element
    // of the array numbered by its line.
    void startLine(long line) {
        line_ = line;
        element_ = line - 1;
        depth_ = 1;
    }

    // Rows grown before a later object named a new column get their missing fields.
    void finish() {
        for (std::size_t r = 0; r < table_->rows.size(); ++r) {
            table_->rows[r].resize(table_->columns.size());
            table_->present[r].resize(table_->columns.size(), false);
        }
    }

private:
    bool value(const std::string& text, bool present) {
        if (depth_ == 0) return refuse(path_ + ": expected an array of objects");
        if (depth_ == 1) return refuse(located(path_, element_ + 1, "element is not an object"));
        const std::string& name = table_->columns[column_];
        if (text.find('\0') != std::string::npos)
            return refuse(located(path_, element_, "field '" + name + "' holds a NUL byte, which no text holds"));
        std::vector<std::string>& row = table_->rows.back();
        std::vector<bool>& given = table_->present.back();
        if (row.size() <= column_) {
            row.resize(table_->columns.size());
            given.resize(table_->columns.size(), false);
        }
        row[column_] = present ? text : std::string();
        given[column_] = present;
        return true;
    }
    bool nested() {
        if (depth_ == 0) return refuse(path_ + ": expected an array of objects");
        if (depth_ == 1) return refuse(located(path_, element_ + 1, "element is not an object"));
        return refuse(located(path_, element_, "field '" + table_->columns[column_] + "' is not a text or a number"));
    }
    bool refuse(const std::string& reason) {
        if (error_->empty()) *error_ = reason;
        return false;
    }

    const std::string& path_;
    TableFile* table_;
    std::string* error_;
    std::unordered_map<std::string, std::size_t> index_;
    std::size_t column_ = 0;
    long element_ = 0;
    long line_ = 0;  // JSON Lines: the line being read
    int depth_ = 0;  // 0 outside the array, 1 in it, 2 in one of its objects
};

bool readJson(const std::string& path, TableFile* table, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot open the file";
        return false;
    }
    error->clear();
    JsonTableReader reader(path, table, error);
    if (!nlohmann::json::sax_parse(in, &reader)) {
        if (error->empty()) *error = path + ": not valid JSON";
        return false;
    }
    if (in.bad()) {
        *error = path + ": the file could not be read";
        return false;
    }
    reader.finish();
    return true;
}

// One object a line, read a line at a time; blank lines separate nothing.
bool readJsonLines(const std::string& path, TableFile* table, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot open the file";
        return false;
    }
    error->clear();
    JsonTableReader reader(path, table, error);
    std::string line;
    for (long number = 1; std::getline(in, line); ++number) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        reader.startLine(number);
        if (!nlohmann::json::sax_parse(line, &reader)) {
            if (error->empty()) *error = located(path, number, "not valid JSON");
            return false;
        }
    }
    if (in.bad()) {
        *error = path + ": the file could not be read";
        return false;
    }
    reader.finish();
    return true;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::vector<std::string> splitCsvRecord(const std::string& record) { return splitCsv(record); }

bool readTableFile(const std::string& path, const std::string& format, TableFile* table, std::string* error,
                   const std::string& language) {
    if (format == "jsonl") return readJsonLines(path, table, error);
    if (format == "fhir") return readFhirTable(path, language, table, error);
    if (format == "skos") return readSkosTable(path, language, table, error);
    const bool json = format == "json" || (format.empty() && endsWith(path, ".json"));
    return json ? readJson(path, table, error) : readCsv(path, table, error);
}

}  // namespace rdm
