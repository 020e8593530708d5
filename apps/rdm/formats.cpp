// The export's writers of rdm's own CSV and JSON and of JSON Lines, and the
// choice of a writer by the format's name.
#include "formats.h"

#include <nlohmann/json.hpp>

#include "output.h"
#include "rdm.h"

namespace rdm {
namespace {

// CSV and JSON: the rows as every other rdm listing writes them.
class TableWriter : public ItemWriter {
public:
    TableWriter(Format format, std::FILE* out) : format_(format), out_(out) {}
    void begin(const std::vector<std::string>& header, std::size_t) override {
        rows_.reset(new RowWriter(header, format_, out_));
    }
    void write(const std::vector<std::string>& row) override { rows_->write(row); }
    void finish() override { rows_->finish(); }
    bool failed() const override { return outputFailed(out_); }

private:
    Format format_;
    std::FILE* out_;
    std::unique_ptr<RowWriter> rows_;
};

// JSON Lines: each row the object the JSON form holds for it, alone on its
// line, written as it comes.
class JsonLinesWriter : public ItemWriter {
public:
    explicit JsonLinesWriter(std::FILE* out) : out_(out) {}
    void begin(const std::vector<std::string>& header, std::size_t) override { header_ = header; }
    void write(const std::vector<std::string>& row) override {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (std::size_t c = 0; c < row.size() && c < header_.size(); ++c) object[header_[c]] = row[c];
        // Texts are kept as bytes; invalid UTF-8 is replaced, as in the JSON form.
        const std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        std::fwrite(line.data(), 1, line.size(), out_);
        std::fputc('\n', out_);
    }
    void finish() override {}
    bool failed() const override { return outputFailed(out_); }

private:
    std::FILE* out_;
    std::vector<std::string> header_;
};

}  // namespace

std::unique_ptr<ItemWriter> makeItemWriter(const std::string& format, const ExportSettings& settings,
                                           std::FILE* out) {
    if (format == "csv") return std::unique_ptr<ItemWriter>(new TableWriter(Format::Csv, out));
    if (format == "json") return std::unique_ptr<ItemWriter>(new TableWriter(Format::Json, out));
    if (format == "jsonl") return std::unique_ptr<ItemWriter>(new JsonLinesWriter(out));
    if (format == "fhir") return makeFhirWriter(settings, out);
    if (format == "skos") return makeSkosWriter(settings, out);
    return nullptr;
}

}  // namespace rdm
