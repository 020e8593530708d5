// A domain version as a SKOS concept scheme in Turtle, written and read by
// serd: a concept per item, its notation the key, its untagged preferred
// label the label, skos:broader the parent, and each attribute value a
// language-tagged literal on a property of rdm's attribute namespace.
#include <serd/serd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <unordered_map>

#include "formats.h"

namespace rdm {
namespace {

const char kRdfType[] = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
const char kSkos[] = "http://www.w3.org/2004/02/skos/core#";
const char kOwl[] = "http://www.w3.org/2002/07/owl#";

std::string skos(const char* name) {
    return kSkos + std::string(name);
}

SerdNode node(SerdType type, const std::string& text) {
    return serd_node_from_substring(type, reinterpret_cast<const uint8_t*>(text.c_str()), text.size());
}

// The namespace of the domain's concepts: BASE/DOMAIN/, the concept of key K
// at BASE/DOMAIN/K and the scheme of version N at BASE/DOMAIN/version/N
// (a key of that form has its "/" encoded, so the two never meet).
std::string domainNamespace(const ExportSettings& settings) {
    const std::string& base = settings.baseUrl;
    return (!base.empty() && base.back() == '/' ? base : base + "/") + percentEncoded(settings.domain) + "/";
}

class SkosWriter : public ItemWriter {
public:
    SkosWriter(const ExportSettings& settings, std::FILE* out)
        : settings_(settings),
          out_(out),
          env_(serd_env_new(nullptr)),
          writer_(serd_writer_new(
              SERD_TURTLE,
              static_cast<SerdStyle>(SERD_STYLE_ABBREVIATED | SERD_STYLE_CURIED | SERD_STYLE_BULK), env_,
              nullptr, serd_file_sink, out)),
          namespace_(domainNamespace(settings)),
          scheme_(namespace_ + "version/" + std::to_string(settings.version)) {}
    ~SkosWriter() override {
        serd_writer_free(writer_);
        serd_env_free(env_);
    }
    SkosWriter(const SkosWriter&) = delete;
    SkosWriter& operator=(const SkosWriter&) = delete;

    bool tagsEveryValue() const override { return true; }

    void begin(const std::vector<std::string>& header, std::size_t) override {
        prefix("", namespace_);
        prefix("skos", kSkos);
        prefix("owl", kOwl);
        prefix("rdma", kAttributeNamespace);
        for (std::size_t c = 3; c < header.size(); ++c) {
            const std::size_t at = header[c].rfind('@');
            properties_.emplace_back(kAttributeNamespace + percentEncoded(header[c].substr(0, at)),
                                     header[c].substr(at + 1));
        }
        statement(scheme_, kRdfType, node(SERD_URI, skos("ConceptScheme")));
        statement(scheme_, skos("prefLabel"), node(SERD_LITERAL, settings_.domain));
        statement(scheme_, kOwl + std::string("versionInfo"),
                  node(SERD_LITERAL, std::to_string(settings_.version)));
    }

    void write(const std::vector<std::string>& row) override {
        const std::string concept = namespace_ + percentEncoded(row[0]);
        statement(concept, kRdfType, node(SERD_URI, conceptClass_));
        statement(concept, inScheme_, node(SERD_URI, scheme_));
        statement(concept, notation_, node(SERD_LITERAL, row[0]));
        if (!row[1].empty()) statement(concept, prefLabel_, node(SERD_LITERAL, row[1]));
        if (!row[2].empty())
            statement(concept, broader_, node(SERD_URI, namespace_ + percentEncoded(row[2])));
        for (std::size_t c = 3; c < row.size() && c - 3 < properties_.size(); ++c) {
            if (row[c].empty()) continue;
            const auto& property = properties_[c - 3];
            const SerdNode language = node(SERD_LITERAL, property.second);
            statement(concept, property.first, node(SERD_LITERAL, row[c]), &language);
        }
    }

    void finish() override { serd_writer_finish(writer_); }
    bool failed() const override { return std::ferror(out_) != 0; }

private:
    void prefix(const std::string& name, const std::string& uri) {
        const SerdNode prefixName = node(SERD_LITERAL, name);
        const SerdNode prefixUri = node(SERD_URI, uri);
        serd_writer_set_prefix(writer_, &prefixName, &prefixUri);
    }
    void statement(const std::string& subject, const std::string& predicate, const SerdNode& object,
                   const SerdNode* language = nullptr) {
        const SerdNode s = node(SERD_URI, subject);
        const SerdNode p = node(SERD_URI, predicate);
        serd_writer_write_statement(writer_, 0, nullptr, &s, &p, &object, nullptr, language);
    }

    ExportSettings settings_;
    std::FILE* out_;
    SerdEnv* env_;
    SerdWriter* writer_;
    const std::string namespace_, scheme_;
    const std::string conceptClass_ = skos("Concept"), inScheme_ = skos("inScheme"),
                      notation_ = skos("notation"), prefLabel_ = skos("prefLabel"),
                      broader_ = skos("broader");
    std::vector<std::pair<std::string, std::string>> properties_;  // per value column: property IRI, language
};

// Reads the statements of a Turtle file into one record per subject (in the
// order subjects first appear), then makes a row of each concept.
class SkosReader {
public:
    SkosReader(const std::string& path, const std::string& language, TableFile* table, std::string* error)
        : path_(path), language_(language), table_(table), error_(error), env_(serd_env_new(nullptr)) {}
    ~SkosReader() { serd_env_free(env_); }
    SkosReader(const SkosReader&) = delete;
    SkosReader& operator=(const SkosReader&) = delete;

    bool read(std::FILE* file) {
        SerdReader* reader =
            serd_reader_new(SERD_TURTLE, this, nullptr, onBase, onPrefix, onStatement, nullptr);
        serd_reader_set_strict(reader, true);
        serd_reader_set_error_sink(reader, onError, this);
        const SerdStatus status =
            serd_reader_read_file_handle(reader, file, reinterpret_cast<const uint8_t*>(path_.c_str()));
        serd_reader_free(reader);
        if (status != SERD_SUCCESS && error_->empty()) *error_ = path_ + ": not valid Turtle";
        return error_->empty() && makeRows();
    }

private:
    struct Subject {
        std::string iri;
        bool concept = false;
        std::vector<std::string> notations, broader;
        std::string label, languageLabel;
        bool hasLabel = false;
        std::vector<std::pair<std::size_t, std::string>> values;  // (column, text)
    };

    static SerdStatus onBase(void* handle, const SerdNode* uri) {
        return serd_env_set_base_uri(static_cast<SkosReader*>(handle)->env_, uri);
    }
    static SerdStatus onPrefix(void* handle, const SerdNode* name, const SerdNode* uri) {
        return serd_env_set_prefix(static_cast<SkosReader*>(handle)->env_, name, uri);
    }
    static SerdStatus onStatement(void* handle, SerdStatementFlags, const SerdNode*, const SerdNode* subject,
                                  const SerdNode* predicate, const SerdNode* object, const SerdNode*,
                                  const SerdNode* language) {
        SkosReader* reader = static_cast<SkosReader*>(handle);
        return reader->take(*subject, *predicate, *object, language) ? SERD_SUCCESS : SERD_ERR_BAD_ARG;
    }
    static SerdStatus onError(void* handle, const SerdError* error) {
        SkosReader* reader = static_cast<SkosReader*>(handle);
        char text[512];
        va_list args;
        va_copy(args, *error->args);
        std::vsnprintf(text, sizeof text, error->fmt, args);
        va_end(args);
        std::string reason = text;
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
        reader->refuse(reader->path_ + ":" + std::to_string(error->line) + ": not valid Turtle (column " +
                       std::to_string(error->col) + ": " + reason + ")");
        return SERD_SUCCESS;
    }

    bool refuse(const std::string& reason) {
        if (error_->empty()) *error_ = reason;
        return false;
    }

    // The IRI of a node (prefixed names expanded, relative ones resolved),
    // "_:NAME" for a blank node; false for an unknown prefix.
    bool iri(const SerdNode& given, std::string* text) {
        const char* chars = reinterpret_cast<const char*>(given.buf);
        if (given.type == SERD_BLANK) {
            *text = "_:" + std::string(chars, given.n_bytes);
            return true;
        }
        if (given.type == SERD_URI && serd_uri_string_has_scheme(given.buf)) {
            text->assign(chars, given.n_bytes);
            return true;
        }
        SerdNode expanded = serd_env_expand_node(env_, &given);
        if (expanded.buf == nullptr)
            return refuse(path_ + ": the prefix of '" + std::string(chars, given.n_bytes) +
                          "' is not declared");
        text->assign(reinterpret_cast<const char*>(expanded.buf), expanded.n_bytes);
        serd_node_free(&expanded);
        return true;
    }

    bool take(const SerdNode& subjectNode, const SerdNode& predicateNode, const SerdNode& object,
              const SerdNode* languageNode) {
        if (!iri(subjectNode, &subjectText_) || !iri(predicateNode, &predicate_)) return false;
        const bool literal = object.type == SERD_LITERAL;
        if (literal) {
            text_.assign(reinterpret_cast<const char*>(object.buf), object.n_bytes);
            if (text_.find('\0') != std::string::npos)
                return refuse(path_ + ": a text of <" + subjectText_ +
                              "> holds a NUL byte, which no text holds");
        } else if (!iri(object, &text_)) {
            return false;
        }
        const auto found = subjectIndex_.emplace(subjectText_, subjects_.size());
        if (found.second) {
            subjects_.emplace_back();
            subjects_.back().iri = subjectText_;
        }
        Subject& subject = subjects_[found.first->second];
        const std::string language =
            languageNode != nullptr && languageNode->n_bytes > 0
                ? std::string(reinterpret_cast<const char*>(languageNode->buf), languageNode->n_bytes)
                : std::string();
        if (predicate_ == kRdfType) {
            subject.concept = subject.concept || (!literal && text_ == conceptClass_);
        } else if (predicate_ == notation_) {
            subject.notations.push_back(text_);
        } else if (predicate_ == prefLabel_ && literal) {
            if (language.empty()) {
                subject.label = text_;
                subject.hasLabel = true;
            } else if (language == language_) {
                subject.languageLabel = text_;
            }
        } else if (predicate_ == broader_) {
            if (literal)
                return refuse(path_ + ": the skos:broader of <" + subjectText_ +
                              "> is a text, not a concept");
            subject.broader.push_back(text_);
        } else if (predicate_.compare(0, attributeNamespace_.size(), attributeNamespace_) == 0) {
            if (!literal)
                return refuse(path_ + ": the value of <" + predicate_ + "> of <" + subjectText_ +
                              "> is not a text");
            const std::string name = percentDecoded(predicate_.substr(attributeNamespace_.size())) + "@" +
                                     (language.empty() ? language_ : language);
            const auto column = columnIndex_.emplace(name, columns_.size());
            if (column.second) columns_.push_back(name);
            subject.values.emplace_back(column.first->second, text_);
        }
        return true;
    }

    // Each concept a row, numbered in the order the concepts first appear.
    bool makeRows() {
        table_->columns = {"key", "label", "parent"};
        table_->columns.insert(table_->columns.end(), columns_.begin(), columns_.end());
        long number = 0;
        for (Subject& subject : subjects_) {
            if (!subject.concept) continue;
            const std::string at =
                path_ + ":" + std::to_string(++number) + ": concept <" + subject.iri + "> ";
            if (subject.notations.empty()) return refuse(at + "has no skos:notation (its key)");
            if (subject.notations.size() > 1) return refuse(at + "has more than one skos:notation");
            if (subject.broader.size() > 1)
                return refuse(at + "has more than one skos:broader; an item has one parent");
            std::vector<std::string> row(table_->columns.size());
            std::vector<bool> present(table_->columns.size(), false);
            row[0] = subject.notations.front();
            row[1] = subject.hasLabel ? subject.label : subject.languageLabel;
            present[0] = present[1] = true;
            if (!subject.broader.empty()) {
                row[2] = parentKey(subject.broader.front());
                present[2] = true;
            }
            for (auto& value : subject.values) {
                const std::size_t column = 3 + value.first;
                if (present[column])
                    return refuse(at + "has two values of attribute '" +
                                  table_->columns[column].substr(0, table_->columns[column].rfind('@')) +
                                  "' in one language");
                row[column] = std::move(value.second);
                present[column] = true;
            }
            table_->rows.push_back(std::move(row));
            table_->present.push_back(std::move(present));
            table_->lines.push_back(number);
        }
        return true;
    }

    // The key of the concept IRI names; a concept the file does not hold
    // stays its "<IRI>", which the import's check then names.
    std::string parentKey(const std::string& parent) const {
        const auto found = subjectIndex_.find(parent);
        if (found != subjectIndex_.end()) {
            const Subject& subject = subjects_[found->second];
            if (subject.concept && subject.notations.size() == 1) return subject.notations.front();
        }
        return "<" + parent + ">";
    }

    const std::string& path_;
    const std::string& language_;
    TableFile* table_;
    std::string* error_;
    SerdEnv* env_;
    std::vector<Subject> subjects_;
    std::unordered_map<std::string, std::size_t> subjectIndex_;
    std::vector<std::string> columns_;  // the value columns, NAME@LANG, in first-seen order
    std::unordered_map<std::string, std::size_t> columnIndex_;
    std::string subjectText_, predicate_, text_;
    const std::string attributeNamespace_ = kAttributeNamespace;
    const std::string conceptClass_ = skos("Concept"), notation_ = skos("notation"),
                      prefLabel_ = skos("prefLabel"), broader_ = skos("broader");
};

}  // namespace

std::unique_ptr<ItemWriter> makeSkosWriter(const ExportSettings& settings, std::FILE* out) {
    return std::unique_ptr<ItemWriter>(new SkosWriter(settings, out));
}

bool readSkosTable(const std::string& path, const std::string& language, TableFile* table,
                   std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = path + ": cannot open the file: " + std::strerror(errno);
        return false;
    }
    error->clear();
    SkosReader reader(path, language, table, error);
    const bool read = reader.read(file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (read && failed) *error = path + ": the file could not be read";
    return read && !failed;
}

}  // namespace rdm
