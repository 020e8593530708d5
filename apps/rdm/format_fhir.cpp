// A domain version as a FHIR R4 CodeSystem resource (JSON): written a concept
// a line as the rows come, and read back with the JSON parser's events, so
// neither side holds the resource as a document.
#include <fstream>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "formats.h"

namespace rdm {
namespace {

const char kParentUri[] = "http://hl7.org/fhir/concept-properties#parent";
// The attribute of a designation that names no use.
const char kDesignationAttribute[] = "designation";

std::string jsonString(const std::string& text) {
    // Texts are kept as bytes; invalid UTF-8 is replaced, as in rdm's JSON.
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The resource's name, which FHIR wants usable as an identifier: the domain
// name's letters, digits and "_", every other run of bytes one "_", the
// first letter upper-case; a name that starts with no letter is prefixed.
std::string identifierName(const std::string& domain) {
    std::string name;
    for (const char c : domain) {
        const bool kept =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (kept)
            name += c;
        else if (name.empty() || name.back() != '_')
            name += '_';
    }
    if (name.empty() || !((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        name = "CodeSystem" + (name.empty() || name[0] == '_' ? name : "_" + name);
    if (name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name.substr(0, 255);
}

std::string joinedUrl(const std::string& base, const std::string& segment) {
    return (!base.empty() && base.back() == '/' ? base : base + "/") + percentEncoded(segment);
}

class FhirWriter : public ItemWriter {
public:
    FhirWriter(const ExportSettings& settings, std::FILE* out) : settings_(settings), out_(out) {}

    bool tagsEveryValue() const override { return true; }
    std::string keyProblem(const std::string& key) const override {
        if (isFhirCode(key)) return std::string();
        return "key '" + key +
               "' is not a valid FHIR code (no blank at either end, no two blanks in a row, no tab or line "
               "end)";
    }

    void begin(const std::vector<std::string>& header, std::size_t items) override {
        for (std::size_t c = 3; c < header.size(); ++c) {
            const std::size_t at = header[c].rfind('@');
            designations_.emplace_back(jsonString(header[c].substr(0, at)),
                                       jsonString(header[c].substr(at + 1)));
        }
        const std::string& domain = settings_.domain;
        std::string text = "{\n";
        text += "  \"resourceType\": \"CodeSystem\",\n";
        text += "  \"url\": " + jsonString(joinedUrl(settings_.baseUrl, domain)) + ",\n";
        text += "  \"version\": \"" + std::to_string(settings_.version) + "\",\n";
        text += "  \"name\": " + jsonString(identifierName(domain)) + ",\n";
        text += "  \"title\": " + jsonString(domain) + ",\n";
        text += "  \"status\": \"active\",\n";
        text += "  \"caseSensitive\": true,\n";
        text += "  \"hierarchyMeaning\": \"is-a\",\n";
        text += "  \"content\": \"complete\",\n";
        text += "  \"count\": " + std::to_string(items) + ",\n";
        text += "  \"property\": [\n";
        text += "    {\"code\": \"parent\", \"uri\": \"" + std::string(kParentUri) +
                "\", \"description\": \"The item's parent\", \"type\": \"code\"}\n";
        // FHIR allows no empty array: a version without items has no concept list.
        text += items > 0 ? "  ],\n  \"concept\": [\n" : "  ]\n}\n";
        put(text);
    }

    // {"code":K,"display":L,"designation":[{"language":G,"use":{"code":A},"value":V},...],
    //  "property":[{"code":"parent","valueCode":P}]}, empty texts left out.
    void write(const std::vector<std::string>& row) override {
        std::string text = written_++ == 0 ? "    {\"code\":" : ",\n    {\"code\":";
        text += jsonString(row[0]);
        if (!row[1].empty()) text += ",\"display\":" + jsonString(row[1]);
        bool first = true;
        for (std::size_t c = 3; c < row.size() && c - 3 < designations_.size(); ++c) {
            if (row[c].empty()) continue;
            text += first ? ",\"designation\":[" : ",";
            first = false;
            const auto& designation = designations_[c - 3];
            text += "{\"language\":" + designation.second + ",\"use\":{\"code\":" + designation.first +
                    "},\"value\":" + jsonString(row[c]) + "}";
        }
        if (!first) text += "]";
        if (!row[2].empty())
            text += ",\"property\":[{\"code\":\"parent\",\"valueCode\":" + jsonString(row[2]) + "}]";
        text += "}";
        put(text);
    }

    void finish() override {
        if (written_ > 0) put("\n  ]\n}\n");
    }
    bool failed() const override { return std::ferror(out_) != 0; }

private:
    void put(const std::string& text) { std::fwrite(text.data(), 1, text.size(), out_); }

    ExportSettings settings_;
    std::FILE* out_;
    std::vector<std::pair<std::string, std::string>>
        designations_;  // per value column: attribute, language as JSON
    std::size_t written_ = 0;
};

// Reads a CodeSystem from the JSON parser's events. Each concept, nested or
// not, is a row in the order the concepts start (a parent before its
// children); a nested concept's parent is the concept around it.
class FhirReader {
public:
    FhirReader(const std::string& path, const std::string& language, TableFile* table, std::string* error)
        : path_(path), language_(language), table_(table), error_(error) {
        table_->columns = {"key", "label", "parent"};
    }

    bool null() { return scalar(std::string(), false); }
    bool boolean(bool flag) { return scalar(flag ? "true" : "false", true); }
    bool number_integer(std::int64_t number) { return scalar(std::to_string(number), true); }
    bool number_unsigned(std::uint64_t number) { return scalar(std::to_string(number), true); }
    bool number_float(double, const std::string& text) { return scalar(text, true); }
    bool string(std::string& text) { return scalar(text, true); }
    bool binary(nlohmann::json::binary_t&) { return scalar(std::string(), false); }  // not in JSON text
    bool key(std::string& name) {
        key_ = name;
        return true;
    }

    bool start_object(std::size_t) {
        const Where top = where();
        if (top == kOutside) return enter(kResource);
        if (top == kConcepts) return startConcept();
        if (top == kDesignations) {
            designation_ = Designation();
            return enter(kDesignation);
        }
        if (top == kDesignation && key_ == "use") return enter(kUse);
        if (top == kProperties) {
            property_ = Property();
            return enter(kProperty);
        }
        return enter(kIgnored);
    }
    bool end_object() {
        const Where top = where();
        stack_.pop_back();
        if (top == kConcept) return endConcept();
        if (top == kDesignation) return addDesignation();
        if (top == kProperty && property_.code == "parent")
            concepts_.back().parents.push_back(property_.value);
        return true;
    }
    bool start_array(std::size_t) {
        const Where top = where();
        if (top == kOutside) return refuse(path_ + ": expected a FHIR resource (a JSON object)");
        if ((top == kResource || top == kConcept) && key_ == "concept") return enter(kConcepts);
        if (top == kConcept && key_ == "designation") return enter(kDesignations);
        if (top == kConcept && key_ == "property") return enter(kProperties);
        return enter(kIgnored);
    }
    bool end_array() {
        stack_.pop_back();
        return true;
    }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
        return refuse(path_ + ": not valid JSON (at byte " + std::to_string(position) + ")");
    }

    // After the last event: the resource was a CodeSystem, nested concepts
    // get their parents, every row every column.
    bool finish() {
        if (!codeSystem_)
            return refuse(path_ + ": no \"resourceType\": \"CodeSystem\"; not a FHIR CodeSystem");
        for (std::size_t r = 0; r < table_->rows.size(); ++r) {
            std::vector<std::string>& row = table_->rows[r];
            if (nestedIn_[r] >= 0) {
                const std::string& outer = table_->rows[static_cast<std::size_t>(nestedIn_[r])][0];
                if (!row[2].empty() && row[2] != outer)
                    return refuse(
                        located(table_->lines[r], "concept '" + row[0] + "' is nested in concept '" + outer +
                                                      "' but its parent property names '" + row[2] + "'"));
                row[2] = outer;
                table_->present[r][2] = true;
            }
            row.resize(table_->columns.size());
            table_->present[r].resize(table_->columns.size(), false);
        }
        return true;
    }

private:
    enum Where {
        kOutside,
        kResource,
        kConcepts,
        kConcept,
        kDesignations,
        kDesignation,
        kUse,
        kProperties,
        kProperty,
        kIgnored
    };
    struct Designation {
        std::string language, use, value;
    };
    struct Property {
        std::string code, value;
    };
    struct Concept {
        std::size_t row = 0;
        std::string code, display;
        bool hasCode = false;
        std::vector<std::string> parents;
        std::vector<std::pair<std::size_t, std::string>> values;  // (column, text)
    };

    Where where() const { return stack_.empty() ? kOutside : stack_.back(); }
    bool enter(Where where) {
        stack_.push_back(where);
        return true;
    }
    std::string located(long number, const std::string& reason) const {
        return path_ + ":" + std::to_string(number) + ": " + reason;
    }
    bool refuse(const std::string& reason) {
        if (error_->empty()) *error_ = reason;
        return false;
    }

    bool scalar(const std::string& text, bool present) {
        const Where top = where();
        if (top == kOutside) return refuse(path_ + ": expected a FHIR resource (a JSON object)");
        if (top == kConcepts || top == kDesignations || top == kProperties)
            return refuse(path_ + ": an element of '" + key_ + "' is not an object");
        if (top == kIgnored || !present) return true;
        if (text.find('\0') != std::string::npos) {
            const std::string reason = "field '" + key_ + "' holds a NUL byte, which no text holds";
            return refuse(concepts_.empty() ? path_ + ": " + reason
                                            : located(table_->lines[concepts_.back().row], reason));
        }
        if (top == kResource && key_ == "resourceType") {
            codeSystem_ = text == "CodeSystem";
            if (!codeSystem_) return refuse(path_ + ": the resource is a " + text + ", not a CodeSystem");
        } else if (top == kConcept && key_ == "code") {
            concepts_.back().code = text;
            concepts_.back().hasCode = true;
        } else if (top == kConcept && key_ == "display") {
            concepts_.back().display = text;
        } else if (top == kDesignation && (key_ == "language" || key_ == "value")) {
            (key_ == "language" ? designation_.language : designation_.value) = text;
        } else if (top == kUse && key_ == "code") {
            designation_.use = text;
        } else if (top == kProperty && key_ == "code") {
            property_.code = text;
        } else if (top == kProperty && (key_ == "valueCode" || key_ == "valueString")) {
            property_.value = text;
        }
        return true;
    }

    bool startConcept() {
        Concept concept;
        concept.row = table_->rows.size();
        nestedIn_.push_back(concepts_.empty() ? -1 : static_cast<long>(concepts_.back().row));
        table_->rows.emplace_back();
        table_->present.emplace_back();
        table_->lines.push_back(static_cast<long>(concept.row) + 1);
        concepts_.push_back(std::move(concept));
        return enter(kConcept);
    }

    bool addDesignation() {
        if (designation_.value.empty()) return true;  // FHIR has no empty text; nothing to keep
        const std::string name =
            (designation_.use.empty() ? std::string(kDesignationAttribute) : designation_.use) + "@" +
            (designation_.language.empty() ? language_ : designation_.language);
        const auto found = columnIndex_.emplace(name, table_->columns.size());
        if (found.second) table_->columns.push_back(name);
        Concept& concept = concepts_.back();
        for (const auto& value : concept.values)
            if (value.first == found.first->second)
                return refuse(located(table_->lines[concept.row],
                                      "concept '" + concept.code + "' has two designations of attribute '" +
                                          name.substr(0, name.rfind('@')) + "' in language '" +
                                          name.substr(name.rfind('@') + 1) + "'"));
        concept.values.emplace_back(found.first->second, designation_.value);
        return true;
    }

    bool endConcept() {
        Concept& concept = concepts_.back();
        if (concept.parents.size() > 1)
            return refuse(
                located(table_->lines[concept.row],
                        "concept '" + concept.code + "' has more than one parent; an item has one"));
        std::vector<std::string>& row = table_->rows[concept.row];
        std::vector<bool>& present = table_->present[concept.row];
        row.assign(table_->columns.size(), std::string());
        present.assign(table_->columns.size(), false);
        row[0] = concept.code;
        present[0] = concept.hasCode;
        row[1] = concept.display;
        present[1] = true;
        if (!concept.parents.empty()) {
            row[2] = concept.parents.front();
            present[2] = true;
        }
        for (auto& value : concept.values) {
            row[value.first] = std::move(value.second);
            present[value.first] = true;
        }
        concepts_.pop_back();
        return true;
    }

    const std::string& path_;
    const std::string& language_;
    TableFile* table_;
    std::string* error_;
    std::vector<Where> stack_;
    std::string key_;
    bool codeSystem_ = false;
    std::vector<Concept> concepts_;  // the concepts open around the parser's place
    std::vector<long> nestedIn_;     // per row: the row of the concept it is nested in, or -1
    Designation designation_;
    Property property_;
    std::unordered_map<std::string, std::size_t> columnIndex_;
};

}  // namespace

std::unique_ptr<ItemWriter> makeFhirWriter(const ExportSettings& settings, std::FILE* out) {
    return std::unique_ptr<ItemWriter>(new FhirWriter(settings, out));
}

bool readFhirTable(const std::string& path, const std::string& language, TableFile* table,
                   std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot open the file";
        return false;
    }
    error->clear();
    FhirReader reader(path, language, table, error);
    if (!nlohmann::json::sax_parse(in, &reader)) {
        if (error->empty()) *error = path + ": not valid JSON";
        return false;
    }
    if (in.bad()) {
        *error = path + ": the file could not be read";
        return false;
    }
    return reader.finish();
}

}  // namespace rdm
