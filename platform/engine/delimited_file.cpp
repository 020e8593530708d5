// Upstream rows from a delimited text file whose first line names the fields.
#include <memory>
#include <string>
#include <vector>

#include "engine.h"
#include "qxsstr.h"

namespace {

constexpr int kTextLength = 255;

// A text file, closed on every path.
struct FileCloser {
    void operator()(QxbTxtFile* file) const {
        if (file != nullptr) file->close();
    }
};

// The fields of one line; an empty field is null.
std::vector<QxbDatavar> splitLine(const char* line, char separator, char qualifier) {
    const std::string text(line);
    std::vector<char> buffer(text.size() + 1);
    std::vector<char*> fields(text.size() + 1);
    const int count = qxs_parse_text_ex(text.c_str(), fields.data(), static_cast<int>(fields.size()),
                                        buffer.data(), static_cast<int>(buffer.size()), separator,
                                        qualifier);
    std::vector<QxbDatavar> values(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        if (fields[static_cast<std::size_t>(i)][0] != '\0') values[static_cast<std::size_t>(i)].assign(fields[static_cast<std::size_t>(i)]);
    return values;
}

}  // namespace

bool engineReadDelimitedFile(const std::string& path, char separator, char qualifier,
                             EngineTable* table, QxbString* error) {
    *table = EngineTable();
    std::unique_ptr<QxbTxtFile, FileCloser> file(qxbTxtFileOpen(path.c_str(), QXB_TXT_READ, -1, 0, error));
    if (!file) return false;
    char* line = nullptr;
    int read = file->readLine(-1, &line, 0);
    if (read <= 0 || line == nullptr) {
        error->assign(("The file " + path + (read < 0 ? " cannot be read" : " is empty")).c_str());
        return false;
    }
    for (const QxbDatavar& name : splitLine(line, separator, qualifier)) {
        table->fields.push_back(name.asString().str());
        table->types.push_back(QXB_TYPE_STRING);
        table->lengths.push_back(kTextLength);
    }
    for (int lineNumber = 2; (read = file->readLine(-1, &line, 0)) > 0; ++lineNumber) {
        if (line[0] == '\0') continue;
        std::vector<QxbDatavar> row = splitLine(line, separator, qualifier);
        if (row.size() > table->fields.size()) {
            error->assign(("The file " + path + " has more fields on line " + std::to_string(lineNumber) +
                           " than its first line names").c_str());
            return false;
        }
        row.resize(table->fields.size());
        table->rows.push_back(std::move(row));
    }
    if (read < 0) {
        error->assign(("The file " + path + " cannot be read").c_str());
        return false;
    }
    return true;
}
