// rdm import: a file becomes a new version of a domain (the domain is made
// when missing) through the library's import session, whose commit writes
// it in one transaction: all or nothing.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataAdminEx.h"
#include "RefDataCursor.h"
#include "RefDataViewer.h"
#include "formats.h"
#include "import_plan.h"
#include "output.h"
#include "qxbcpp.h"
#include "rdm.h"

namespace rdm {
namespace {

struct ImportCommand {
    std::string repository, domain, file, format, versionLabel;
    ImportOptions options;
    std::string attributes;
    std::string errorsFile;  // --errors: every error of the file, as CSV
    int account = 1;
    bool quiet = false;
    bool force = false;  // a new version even when the content is the newest version's
    bool dryRun = false;  // every check and the comparison with the newest version; nothing written
};

// Progress on standard error when it is a terminal: one line, redrawn.
class Progress {
public:
    Progress(bool enabled, std::size_t total) : enabled_(enabled && isatty(STDERR_FILENO) && total > 0), total_(total) {}
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    // A bar left short (the import failed) ends its line before the reason.
    ~Progress() {
        if (enabled_ && last_ >= 0 && last_ < 100) std::fputc('\n', stderr);
    }
    void step(std::size_t done) {
        if (!enabled_) return;
        const int percent = static_cast<int>(100 * done / total_);
        if (percent == last_) return;
        last_ = percent;
        const int bar = percent / 4;
        std::fprintf(stderr, "\rimporting [%-25.*s] %3d%%", bar, "=========================", percent);
        if (done == total_) std::fputc('\n', stderr);
    }

private:
    bool enabled_;
    std::size_t total_;
    int last_ = -1;
};

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    for (const char ch : text + ",") {
        if (ch == ',') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += ch;
        }
    }
    return parts;
}

// Whether the domain of the name and its newest version are what they were:
// a commit refused because another writer stored the domain in between is
// run again on what that writer left.
struct DomainState {
    std::vector<int> ids;
    int newest = 0;
    bool operator==(const DomainState& other) const { return ids == other.ids && newest == other.newest; }
};

bool readDomainState(RepositorySession& repo, const std::string& name, DomainState* state) {
    *state = DomainState();
    if (!domainIdsNamed(repo.viewer(), repo.handle(), name, &state->ids)) return false;
    if (state->ids.size() != 1) return true;
    std::string ignored;  // the caller reports the handle's error text
    return newestVersion(repo, state->ids.front(), &state->newest, &ignored);
}

struct ImportResult {
    bool domainCreated = false;
    bool unchanged = false;  // nothing written: the newest version holds the file's content
    bool dryRun = false;     // nothing written: a dry run
    int added = 0, removed = 0, changed = 0;  // items, against the newest version (dry run)
    int versionNumber = 0;   // the new version's; when unchanged, the newest's (0: not known)
    std::size_t newItems = 0;
};

// From the records the commit would write: the items it will create (item
// records, "RDDOIT", that name no stored object yet) and the number of the
// version it will create ("Created Version: ID = (new), VERSION = N"; 0 when
// the record is not there).
bool readPendingChanges(RepositorySession& repo, std::size_t* newItems, int* versionNumber) {
    RefDataCursor* pending = repo.adminEx()->getPendingChanges(repo.handle());
    if (pending == nullptr) return false;
    *newItems = 0;
    *versionNumber = 0;
    int answer = 0;
    while ((answer = pending->next()) == 0) {
        const std::string table = pending->getString(0).str();
        if (table == "RDDOIT" && pending->isNull(1)) ++*newItems;
        if (table != "RDDOVR") continue;
        const std::string description = pending->getString(2).str();
        const std::string marker = "VERSION = ";
        const std::size_t at = description.rfind(marker);
        if (at != std::string::npos) *versionNumber = std::atoi(description.c_str() + at + marker.size());
    }
    pending->release();
    return answer == 1;
}

// One pass through the library: an import session whose version starts
// empty, the plan's attributes, items (in file order, then under their
// parents, so positions stay the file's order) and values, then the commit.
// Without --force, content equal to the stored newest version's is not
// committed: the session is cancelled and result->unchanged set. False with
// the reason (the handle's error text) in *reason, the session cancelled.
bool writeImport(RepositorySession& repo, const ImportCommand& c, const ImportPlan& plan, ImportResult* result,
                 std::string* reason) {
    RefDataAdminEx* admin = repo.adminEx();
    RefDataHandle* handle = repo.handle();
    if (admin == nullptr || !admin->beginDomainImport(handle, QxbString(c.domain), static_cast<unsigned>(c.account),
                                                      QxbString(c.versionLabel), &result->domainCreated)) {
        *reason = repo.errorText().str();
        return false;
    }
    Progress progress(!c.quiet, 2 * plan.items.size() + plan.valueCount);
    std::size_t done = 0;
    bool ok = true;
    for (std::size_t a = 0; ok && a < plan.attributes.size(); ++a) {
        const QxbString name(plan.attributes[a]);
        ok = admin->editAddDomainAttribute(handle, name, name);
    }
    for (std::size_t i = 0; ok && i < plan.items.size(); ++i) {
        ok = admin->editAddItem(handle, QxbString(plan.items[i].key), QxbString(plan.items[i].label), QxbString());
        progress.step(++done);
    }
    for (std::size_t i = 0; ok && i < plan.items.size(); ++i) {
        const ImportItem& item = plan.items[i];
        if (item.parent >= 0)
            ok = admin->editMoveItem(handle, QxbString(item.key),
                                     QxbString(plan.items[static_cast<std::size_t>(item.parent)].key));
        progress.step(++done);
    }
    for (std::size_t i = 0; ok && i < plan.items.size(); ++i) {
        const ImportItem& item = plan.items[i];
        const QxbString key(item.key);
        for (std::size_t v = 0; ok && v < item.values.size(); ++v) {
            const ValueColumn& column = plan.valueColumns[item.values[v].first];
            ok = admin->editSetItemValue(handle, key, QxbString(column.attribute), QxbString(column.language),
                                         QxbString(item.values[v].second));
            progress.step(++done);
        }
    }
    if (ok) ok = readPendingChanges(repo, &result->newItems, &result->versionNumber);
    if (ok && c.dryRun) {
        // Everything a real import checks has run; the comparison reads only.
        ok = admin->getImportChanges(handle, &result->added, &result->removed, &result->changed);
        if (ok) {
            admin->cancelDomainEdit(handle);
            result->dryRun = true;
            return true;
        }
    }
    bool same = false;
    if (ok && !c.force) ok = admin->importMatchesNewest(handle, &same);
    if (ok && same) {
        admin->cancelDomainEdit(handle);
        result->unchanged = true;
        result->versionNumber = std::max(result->versionNumber - 1, 0);
        return true;
    }
    const QxbString summary =
        qxbStringFormat("Imported %d items with %d values from %s", static_cast<int>(plan.items.size()),
                        static_cast<int>(plan.valueCount), c.file.c_str());
    if (ok && admin->commitDomainEdit(handle, summary, nullptr, nullptr, &result->versionNumber)) return true;
    *reason = repo.errorText().str();  // the failed operation's, before the cancel
    admin->cancelDomainEdit(handle);
    return false;
}

constexpr int kImportAttempts = 3;
constexpr std::size_t kShownErrors = 10;

// The fields as one line of CSV, quoted as rdm writes CSV (no line end).
std::string csvLine(const std::vector<std::string>& fields) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* memory = open_memstream(&buffer, &size);
    if (memory == nullptr) throw std::bad_alloc();
    printRows(Rows{fields, {}}, Format::Csv, memory);
    std::fclose(memory);
    std::string line(buffer, size);
    std::free(buffer);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}

// The file's errors as CSV: line,column,key,message,row. False (the reason
// printed) when it could not be written.
bool writeErrorsFile(const std::string& path, const std::vector<ImportError>& errors) {
    Rows rows;
    rows.columns = {"line", "column", "key", "message", "row"};
    for (const ImportError& error : errors)
        rows.values.push_back({error.line > 0 ? std::to_string(error.line) : std::string(), error.column, error.key,
                               error.message, csvLine(error.row)});
    errno = 0;
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out != nullptr) {
        printRows(rows, Format::Csv, out);
        const bool written = std::fflush(out) == 0 && !std::ferror(out);
        if (std::fclose(out) == 0 && written) return true;
    }
    fail("the errors could not be written to " + path + ": " + std::strerror(errno != 0 ? errno : EIO));
    return false;
}

// A file that cannot be read as a table: one error, as the reader put it
// ("FILE:LINE: reason" or "FILE: reason").
ImportError readError(const std::string& path, const std::string& text) {
    ImportError error;
    error.message = text;
    if (text.compare(0, path.size() + 1, path + ":") != 0) return error;
    std::size_t at = path.size() + 1;
    const std::size_t digits = text.find_first_not_of("0123456789", at);
    if (digits != std::string::npos && digits > at && text.compare(digits, 2, ": ") == 0) {
        error.line = std::atol(text.c_str() + at);
        at = digits + 2;
    } else if (text.compare(at, 1, " ") == 0) {
        at += 1;
    } else {
        return error;
    }
    error.message = text.substr(at);
    return error;
}

// A rejected file: the first errors on standard error, then (for more than
// one, or with --errors) their count and where the whole list went.
int rejectFile(const ImportCommand& c, const std::vector<ImportError>& errors, const std::string& firstText) {
    for (std::size_t i = 0; i < errors.size() && i < kShownErrors; ++i)
        fail(i == 0 && !firstText.empty() ? firstText : describeImportError(c.file, errors[i]));
    if (!c.errorsFile.empty() && !writeErrorsFile(c.errorsFile, errors)) return kFailed;
    if (errors.size() == 1 && c.errorsFile.empty()) return kFailed;
    std::string summary = std::to_string(errors.size()) + (errors.size() == 1 ? " error" : " errors") + " in " +
                          c.file + "; nothing was imported";
    if (!c.errorsFile.empty())
        summary += " (listed in " + c.errorsFile + ")";
    else if (errors.size() > kShownErrors)
        summary += " (the first " + std::to_string(kShownErrors) + " above; --errors FILE lists them all)";
    return fail(summary);
}

int runImport(ImportCommand c) {
    announceWriterWaits();
    const std::string nameProblem = domainNameProblem(c.domain);
    if (!nameProblem.empty()) return fail(nameProblem);
    c.options.attributeColumns = splitList(c.attributes);
    TableFile table;
    std::string error;
    if (!readTableFile(c.file, importFormatOf(c.file, c.format), &table, &error, c.options.language))
        return rejectFile(c, {readError(c.file, error)}, error);
    ImportPlan plan;
    std::vector<ImportError> errors;
    if (!planImport(table, c.options, &plan, &errors)) return rejectFile(c, errors, std::string());
    // A file without errors leaves a list holding the header alone, so an
    // earlier run's list never stays behind.
    if (!c.errorsFile.empty() && !writeErrorsFile(c.errorsFile, errors)) return kFailed;

    RepositorySession repo;
    QxbString openError;
    if (!repo.open(c.repository, &openError)) return fail(openError);
    if (repo.viewer() == nullptr) return fail(repo.errorText());
    if (c.account < 1) return fail("invalid account id " + std::to_string(c.account));
    if (!accountExists(repo, c.account, &error)) return fail(error);
    ImportResult result;
    for (int attempt = 1;; ++attempt) {
        DomainState before;
        if (!readDomainState(repo, c.domain, &before)) return fail(repo.errorText());
        if (before.ids.size() > 1) return fail(ambiguousDomainName(c.domain, before.ids));
        std::string reason;
        if (writeImport(repo, c, plan, &result, &reason)) break;
        // Another writer stored the domain after this import read it: the
        // import replaces the version whole, so it is run again on top.
        DomainState after;
        if (attempt < kImportAttempts && readDomainState(repo, c.domain, &after) && !(after == before)) continue;
        return fail("nothing was imported: " + reason);
    }
    if (result.dryRun) {
        std::printf("Dry run: %zu items (%zu new) with %zu values would become %s version %d of domain '%s': "
                    "%d added, %d removed, %d changed; nothing was written\n",
                    plan.items.size(), result.newItems, plan.valueCount,
                    result.domainCreated ? "the new domain's" : "the new", result.versionNumber, c.domain.c_str(),
                    result.added, result.removed, result.changed);
        return kOk;
    }
    if (result.unchanged) {
        const std::string version =
            result.versionNumber > 0 ? " version " + std::to_string(result.versionNumber) : "'s newest version";
        std::printf("Domain '%s'%s already holds this content; nothing was imported (--force makes a new version "
                    "anyway)\n",
                    c.domain.c_str(), version.c_str());
        return kOk;
    }
    std::printf("Imported %zu items (%zu new) with %zu values into %s version %d of domain '%s'\n",
                plan.items.size(), result.newItems, plan.valueCount,
                result.domainCreated ? "the new domain's" : "the new", result.versionNumber, c.domain.c_str());
    return kOk;
}

}  // namespace

void addImportCommand(CLI::App& app, Action* action) {
    auto c = std::make_shared<ImportCommand>();
    CLI::App* cmd = app.add_subcommand(
        "import", "Import a file (CSV, JSON, JSON Lines, FHIR CodeSystem, SKOS Turtle) as a new version of a domain "
                  "(the domain is created when missing)");
    cmd->add_option("repository", c->repository, "Repository name")->required();
    cmd->add_option("domain", c->domain, "Domain name")->required();
    cmd->add_option("file", c->file,
                    "The file: CSV with a header line, JSON (an array of objects), JSON Lines (an object a line), "
                    "a FHIR CodeSystem resource or SKOS in Turtle")
        ->required();
    cmd->add_option("--format", c->format,
                    "csv, json, jsonl, fhir or skos (default: by the file's ending: .jsonl/.ndjson jsonl, .ttl skos, "
                    ".json json, else csv)")
        ->check(CLI::IsMember(exportFormats()));
    cmd->add_option("--key", c->options.keyColumn, "Column of the item keys")->capture_default_str();
    cmd->add_option("--label", c->options.labelColumn, "Column of the item labels")->capture_default_str();
    cmd->add_option("--parent", c->options.parentColumn, "Column of the parent item's key")->capture_default_str();
    cmd->add_option("--attributes", c->attributes,
                    "Comma-separated columns to import as attribute values (default: every other column; "
                    "a column NAME@LANG holds texts of attribute NAME in language LANG)");
    cmd->add_option("--language", c->options.language, "Language of attribute columns without @LANG")
        ->capture_default_str();
    cmd->add_option("--version-label", c->versionLabel, "Label of the new version (default: \"Version N\")");
    cmd->add_option("--account", c->account, "Acting account id")->capture_default_str();
    cmd->add_option("--errors", c->errorsFile,
                    "Write the file's errors to this CSV file (line,column,key,message,row; "
                    "the header alone when none)");
    cmd->add_flag("--dry-run", c->dryRun,
                  "Check the file and compare it with the newest version (items added, removed, changed); "
                  "write nothing");
    cmd->add_flag("--force", c->force,
                  "Make a new version even when the file holds exactly what the newest version holds");
    cmd->add_flag("--quiet", c->quiet, "No progress bar");
    cmd->callback([action, c]() { *action = [c]() { return runImport(*c); }; });
}

}  // namespace rdm
