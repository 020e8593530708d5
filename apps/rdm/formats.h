// The file formats of rdm export and rdm import beyond the table itself:
// CSV and JSON (rdm's own), JSON Lines, a FHIR CodeSystem resource and SKOS
// in Turtle. Every format is written from, and read into, the same table of
// key, label, parent and one column per attribute (and language), so the
// import and its checks stay in one place whatever the format.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "table_file.h"

namespace rdm {

// What an export names besides its rows: the domain, the version and the
// base of the URLs the FHIR and SKOS forms give to it.
struct ExportSettings {
    std::string domain;
    int version = 0;
    std::string baseUrl;
};

// The base URL when neither --base-url nor config.toml ([EXPORT] BASE_URL)
// gives one: a placeholder of the reserved example domain.
extern const char kDefaultBaseUrl[];
// The namespace of the properties that carry attribute values in Turtle: a
// property per attribute, its name percent-encoded after the namespace.
extern const char kAttributeNamespace[];

// Writes the rows of one export. The header is key, label, parent, then the
// value columns; a row holds a text per header column ("" for none).
class ItemWriter {
public:
    virtual ~ItemWriter() = default;
    // True when every value column is named NAME@LANG, whatever the export
    // language: the formats that tag each value with its language.
    virtual bool tagsEveryValue() const { return false; }
    // Why KEY cannot be written in this format, or "" when it can. Asked of
    // every key before the first row is written.
    virtual std::string keyProblem(const std::string&) const { return std::string(); }
    // ITEMS: the number of rows that follow.
    virtual void begin(const std::vector<std::string>& header, std::size_t items) = 0;
    virtual void write(const std::vector<std::string>& row) = 0;
    virtual void finish() = 0;
    // True once a write to the output failed: stop producing.
    virtual bool failed() const = 0;
};

// The export formats: csv, json, jsonl, fhir, skos.
const std::vector<std::string>& exportFormats();
// The writer of FORMAT (one of exportFormats()) to OUT; null for another name.
std::unique_ptr<ItemWriter> makeItemWriter(const std::string& format, const ExportSettings& settings,
                                           std::FILE* out = stdout);

// The writers of the FHIR and SKOS forms (makeItemWriter picks them).
std::unique_ptr<ItemWriter> makeFhirWriter(const ExportSettings& settings, std::FILE* out);
std::unique_ptr<ItemWriter> makeSkosWriter(const ExportSettings& settings, std::FILE* out);

// The import formats, the same names; the format of PATH when --format does
// not name one: by the ending (.jsonl and .ndjson JSON Lines, .ttl SKOS,
// .json JSON, anything else CSV; a FHIR resource is a .json file too, so it
// is named).
std::string importFormatOf(const std::string& path, const std::string& given);

// Texts percent-encoded as one segment of a URL: every byte but ASCII
// letters, digits and "-._~" becomes %XX. Decoding leaves a "%" not followed
// by two hex digits as it is.
std::string percentEncoded(const std::string& text);
std::string percentDecoded(const std::string& text);

// Whether TEXT is a FHIR code: not empty, no blank at either end, no line
// end or tab, no two blanks in a row.
bool isFhirCode(const std::string& text);

// The readers behind readTableFile (table_file.h) for "fhir" and "skos": the
// columns are key, label, parent and NAME@LANG per attribute and language (a
// value without a language is in LANGUAGE, the import's); a row's line is
// its concept's number in the file. False with "FILE:N: reason" or
// "FILE: reason" in *error.
bool readFhirTable(const std::string& path, const std::string& language, TableFile* table,
                   std::string* error);
bool readSkosTable(const std::string& path, const std::string& language, TableFile* table,
                   std::string* error);

}  // namespace rdm
