// Reading CSV and JSON files for rdm import.
#include "table_file.h"

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "qxbcpp.h"
#include "qxsstr.h"

namespace rdm {
namespace {

constexpr int kMaxColumns = 1024;

std::string located(const std::string& path, long line, const std::string& reason) {
    return path + ":" + std::to_string(line) + ": " + reason;
}

// Splits one CSV line; false when it has more fields than the parser reports.
std::vector<std::string> splitCsv(const char* line) {
    const std::size_t length = std::char_traits<char>::length(line);
    std::vector<char> buffer(length + 1);
    std::vector<char*> fields(kMaxColumns);
    const int count = qxs_parse_text_ex(line, fields.data(), kMaxColumns, buffer.data(),
                                        static_cast<int>(buffer.size()), ',', '"');
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.emplace_back(fields[static_cast<std::size_t>(i)]);
    return out;
}

bool readCsv(const std::string& path, TableFile* table, std::string* error) {
    QxbString openError;
    QxbTxtFile* file = qxbTxtFileOpen(path.c_str(), QXB_TXT_READ, -1, 0, &openError);
    if (file == nullptr) {
        *error = openError.str();
        return false;
    }
    char* line = nullptr;
    long number = 0;
    bool ok = true;
    int read = 0;
    while (ok && (read = file->readLine(-1, &line, 0)) > 0) {
        ++number;
        if (*line == '\0') continue;  // blank lines separate nothing
        std::vector<std::string> fields = splitCsv(line);
        if (table->columns.empty()) {
            table->columns = std::move(fields);
            continue;
        }
        if (fields.size() != table->columns.size()) {
            *error = located(path, number, "expected " + std::to_string(table->columns.size()) + " fields, found " +
                                               std::to_string(fields.size()));
            ok = false;
            break;
        }
        table->rows.push_back(std::move(fields));
        table->lines.push_back(number);
        table->present.emplace_back(table->columns.size(), true);
    }
    file->close();
    if (ok && read < 0) {
        *error = path + ": the file could not be read";
        ok = false;
    }
    if (ok && table->columns.empty()) {
        *error = path + ": the file is empty";
        ok = false;
    }
    return ok;
}

std::string jsonText(const nlohmann::json& value) {
    if (value.is_string()) return value.get<std::string>();
    return value.dump();
}

bool readJson(const std::string& path, TableFile* table, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot open the file";
        return false;
    }
    std::stringstream content;
    content << in.rdbuf();
    nlohmann::json document = nlohmann::json::parse(content.str(), nullptr, false);
    if (document.is_discarded()) {
        *error = path + ": not valid JSON";
        return false;
    }
    if (!document.is_array()) {
        *error = path + ": expected an array of objects";
        return false;
    }
    std::map<std::string, std::size_t> index;
    for (const auto& element : document) {
        if (!element.is_object()) continue;
        for (const auto& field : element.items())
            if (index.emplace(field.key(), table->columns.size()).second) table->columns.push_back(field.key());
    }
    long number = 0;
    for (const auto& element : document) {
        ++number;
        if (!element.is_object()) {
            *error = located(path, number, "element is not an object");
            return false;
        }
        std::vector<std::string> row(table->columns.size());
        std::vector<bool> present(table->columns.size(), false);
        for (const auto& field : element.items()) {
            if (field.value().is_object() || field.value().is_array()) {
                *error = located(path, number, "field '" + field.key() + "' is not a text or a number");
                return false;
            }
            const std::size_t column = index[field.key()];
            present[column] = !field.value().is_null();
            if (present[column]) row[column] = jsonText(field.value());
        }
        table->rows.push_back(std::move(row));
        table->lines.push_back(number);
        table->present.push_back(std::move(present));
    }
    return true;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

bool readTableFile(const std::string& path, const std::string& format, TableFile* table, std::string* error) {
    const bool json = format == "json" || (format.empty() && endsWith(path, ".json"));
    return json ? readJson(path, table, error) : readCsv(path, table, error);
}

}  // namespace rdm
