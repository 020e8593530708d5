// Reading the files rdm imports: CSV (first line names the columns), JSON
// (an array of objects), JSON Lines (an object a line), a FHIR CodeSystem or
// SKOS in Turtle (formats.h), into rows of texts with their line numbers.
#pragma once

#include <string>
#include <vector>

namespace rdm {

struct TableFile {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;  // each row has columns.size() fields
    std::vector<long> lines;  // the line (CSV, JSON Lines), element (JSON) or concept number of each row
    std::vector<std::vector<bool>> present;      // JSON: false where an object lacks the column or holds null
};

// False with "FILE:LINE: reason" in *error. format: "csv", "json", "jsonl",
// "fhir" or "skos"; empty picks by the file's ending (.json, else CSV).
// LANGUAGE: the import's, for the values of a FHIR or SKOS file that name
// none.
bool readTableFile(const std::string& path, const std::string& format, TableFile* table, std::string* error,
                   const std::string& language = "en");

// The fields of one CSV record, as a line of a CSV file is read (quotes as
// there; a record of N bytes has at most N + 1 fields).
std::vector<std::string> splitCsvRecord(const std::string& record);

}  // namespace rdm
