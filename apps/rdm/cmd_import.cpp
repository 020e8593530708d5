// rdm import: a file becomes a new version of a domain (the domain is made
// when missing) through the library's import session, whose commit writes
// it in one transaction: all or nothing.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataAdminEx.h"
#include "RefDataCursor.h"
#include "RefDataViewer.h"
#include "import_plan.h"
#include "qxbcpp.h"
#include "rdm.h"

namespace rdm {
namespace {

struct ImportCommand {
    std::string repository, domain, file, format, versionLabel;
    ImportOptions options;
    std::string attributes;
    int account = 1;
    bool quiet = false;
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
    RefDataCursor* versions = repo.viewer()->getDomainVersions(repo.handle(), state->ids.front(), -1);
    if (versions == nullptr) return false;
    int answer = 0;
    while ((answer = versions->next()) == 0) state->newest = std::max(state->newest, versions->getInt(2));
    versions->release();
    return answer == 1;
}

struct ImportResult {
    bool domainCreated = false;
    int versionNumber = 0;
    std::size_t newItems = 0;
};

// The items the commit will create: its pending item records ("RDDOIT")
// that name no stored object yet.
bool countNewItems(RepositorySession& repo, std::size_t* count) {
    RefDataCursor* pending = repo.adminEx()->getPendingChanges(repo.handle());
    if (pending == nullptr) return false;
    *count = 0;
    int answer = 0;
    while ((answer = pending->next()) == 0)
        if (pending->getString(0).str() == "RDDOIT" && pending->isNull(1)) ++*count;
    pending->release();
    return answer == 1;
}

// One pass through the library: an import session whose version starts
// empty, the plan's attributes, items (in file order, then under their
// parents, so positions stay the file's order) and values, then the commit.
// False with the reason (the handle's error text) in *reason, the session
// cancelled.
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
    if (ok) ok = countNewItems(repo, &result->newItems);
    const QxbString summary =
        qxbStringFormat("Imported %d items with %d values from %s", static_cast<int>(plan.items.size()),
                        static_cast<int>(plan.valueCount), c.file.c_str());
    if (ok && admin->commitDomainEdit(handle, summary, nullptr, nullptr, &result->versionNumber)) return true;
    *reason = repo.errorText().str();  // the failed operation's, before the cancel
    admin->cancelDomainEdit(handle);
    return false;
}

constexpr int kImportAttempts = 3;

int runImport(ImportCommand c) {
    announceWriterWaits();
    const std::string nameProblem = domainNameProblem(c.domain);
    if (!nameProblem.empty()) return fail(nameProblem);
    c.options.attributeColumns = splitList(c.attributes);
    TableFile table;
    std::string error;
    if (!readTableFile(c.file, c.format, &table, &error)) return fail(error);
    ImportPlan plan;
    if (!planImport(c.file, table, c.options, &plan, &error)) return fail(error);

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
    std::printf("Imported %zu items (%zu new) with %zu values into %s version %d of domain '%s'\n",
                plan.items.size(), result.newItems, plan.valueCount,
                result.domainCreated ? "the new domain's" : "the new", result.versionNumber, c.domain.c_str());
    return kOk;
}

}  // namespace

void addImportCommand(CLI::App& app, Action* action) {
    auto c = std::make_shared<ImportCommand>();
    CLI::App* cmd = app.add_subcommand(
        "import", "Import a CSV or JSON file as a new version of a domain (the domain is created when missing)");
    cmd->add_option("repository", c->repository, "Repository name")->required();
    cmd->add_option("domain", c->domain, "Domain name")->required();
    cmd->add_option("file", c->file, "The file: CSV with a header line, or JSON (an array of objects)")->required();
    cmd->add_option("--format", c->format, "csv or json (default: by the file's ending)")
        ->check(CLI::IsMember({"csv", "json"}));
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
    cmd->add_flag("--quiet", c->quiet, "No progress bar");
    cmd->callback([action, c]() { *action = [c]() { return runImport(*c); }; });
}

}  // namespace rdm
