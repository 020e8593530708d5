// rdm edit|attributes|attribute add|attribute remove: changing a domain from
// the shell through the library's edit session (every edit checked first,
// then applied in order and committed as one new version, or nothing), and
// the repository's attributes.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataAdminEx.h"
#include "RefDataCursor.h"
#include "RefDataViewerEx.h"
#include "output.h"
#include "qxbcpp.h"
#include "rdm.h"
#include "table_file.h"

namespace rdm {
namespace {

constexpr int kAdminAccount = 1;

struct CursorReleaser {
    void operator()(RefDataCursor* cursor) const {
        if (cursor != nullptr) cursor->release();
    }
};
using OwnedCursor = std::unique_ptr<RefDataCursor, CursorReleaser>;

// --- the edits --------------------------------------------------------------------------------------

// The fields of an edit after its action, in the order of --edit.
enum Field { kKey, kLabel, kParent, kAttribute, kLanguage, kValue, kFieldCount };
const char* const kFieldNames[kFieldCount] = {"key", "label", "parent", "attribute", "language", "value"};
const char* const kColumns = "action,key,label,parent,attribute,language,value";

enum class EditAction { Add, Remove, Relabel, Move, Set, Clear, AddAttribute, RemoveAttribute };

constexpr unsigned bit(Field field) { return 1u << field; }

// What each action needs and may have; any other field must stay empty (a
// value given where it is not used is a mistake, such as shifted columns).
struct ActionRule {
    const char* name;
    EditAction action;
    unsigned required;
    unsigned optional;
};

const ActionRule kRules[] = {
    {"add", EditAction::Add, bit(kKey) | bit(kLabel), bit(kParent)},
    {"remove", EditAction::Remove, bit(kKey), 0},
    {"relabel", EditAction::Relabel, bit(kKey) | bit(kLabel), 0},
    {"move", EditAction::Move, bit(kKey), bit(kParent)},
    {"set", EditAction::Set, bit(kKey) | bit(kAttribute) | bit(kLanguage) | bit(kValue), 0},
    {"clear", EditAction::Clear, bit(kKey) | bit(kAttribute) | bit(kLanguage), 0},
    {"add-attribute", EditAction::AddAttribute, bit(kAttribute), bit(kLabel)},
    {"remove-attribute", EditAction::RemoveAttribute, bit(kAttribute), 0},
};

struct Edit {
    std::string where;  // "FILE:LINE", or "--edit:N" for the N-th --edit
    const ActionRule* rule = nullptr;
    std::string fields[kFieldCount];
};

std::string actionNames() {
    std::string names;
    for (const ActionRule& rule : kRules) names += (names.empty() ? "" : ", ") + std::string(rule.name);
    return names;
}

std::string fieldList(unsigned fields) {
    std::string list;
    for (int f = 0; f < kFieldCount; ++f)
        if ((fields & (1u << f)) != 0) list += (list.empty() ? "" : ", ") + std::string(kFieldNames[f]);
    return list;
}

// Checks one edit; "" when it is sound, else the reason.
std::string checkEdit(const std::string& action, Edit* edit) {
    if (action.empty()) return "no action (one of " + actionNames() + ")";
    for (const ActionRule& rule : kRules)
        if (action == rule.name) edit->rule = &rule;
    if (edit->rule == nullptr) return "unknown action '" + action + "' (one of " + actionNames() + ")";
    unsigned missing = 0, unused = 0;
    for (int f = 0; f < kFieldCount; ++f) {
        const bool given = !edit->fields[f].empty();
        if (!given && (edit->rule->required & (1u << f)) != 0) missing |= 1u << f;
        if (given && ((edit->rule->required | edit->rule->optional) & (1u << f)) == 0) unused |= 1u << f;
    }
    if (missing != 0) return "'" + action + "' needs: " + fieldList(missing);
    if (unused != 0) return "'" + action + "' does not use: " + fieldList(unused);
    return std::string();
}

// The edits of a file, CSV or JSON by its ending, into *edits; every
// problem, one "FILE:LINE: reason" each, into *problems.
void readEditFile(const std::string& path, std::vector<Edit>* edits, std::vector<std::string>* problems) {
    TableFile table;
    std::string error;
    if (!readTableFile(path, std::string(), &table, &error)) {
        problems->push_back(error);
        return;
    }
    const bool json = path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0;
    int actionColumn = -1;
    std::vector<int> fieldOf(table.columns.size(), -1);
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const std::string& name = table.columns[c];
        if (name == "action") {
            actionColumn = static_cast<int>(c);
            continue;
        }
        for (int f = 0; f < kFieldCount; ++f)
            if (name == kFieldNames[f]) fieldOf[c] = f;
        if (fieldOf[c] >= 0) continue;
        // CSV: the header line; JSON: the first object holding the field.
        long line = 1;
        for (std::size_t r = 0; json && r < table.rows.size(); ++r)
            if (table.present[r][c]) {
                line = table.lines[r];
                break;
            }
        problems->push_back(path + ":" + std::to_string(line) + ": unknown column '" + name + "' (the columns are " +
                            kColumns + ")");
    }
    if (actionColumn < 0 && !table.rows.empty()) {
        problems->push_back(path + ":1: no column 'action' (the columns are " + std::string(kColumns) + ")");
        return;
    }
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        Edit edit;
        edit.where = path + ":" + std::to_string(table.lines[r]);
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            if (fieldOf[c] >= 0 && table.present[r][c]) edit.fields[fieldOf[c]] = table.rows[r][c];
        const std::size_t a = static_cast<std::size_t>(actionColumn);
        const std::string problem = checkEdit(table.present[r][a] ? table.rows[r][a] : std::string(), &edit);
        if (!problem.empty()) problems->push_back(edit.where + ": " + problem);
        edits->push_back(std::move(edit));
    }
}

// One --edit: the seven columns as a CSV line; fields left out at the end
// are empty.
void readEditLine(const std::string& line, int number, std::vector<Edit>* edits, std::vector<std::string>* problems) {
    Edit edit;
    edit.where = "--edit:" + std::to_string(number);
    const std::vector<std::string> fields = splitCsvRecord(line);
    std::string problem;
    if (fields.size() > kFieldCount + 1) {
        problem = "expected at most " + std::to_string(kFieldCount + 1) + " fields (" + kColumns + "), found " +
                  std::to_string(fields.size());
    } else {
        for (std::size_t f = 1; f < fields.size(); ++f) edit.fields[f - 1] = fields[f];
        problem = checkEdit(fields.empty() ? std::string() : fields[0], &edit);
    }
    if (!problem.empty()) problems->push_back(edit.where + ": " + problem);
    edits->push_back(std::move(edit));
}

bool applyEdit(RefDataAdminEx* admin, RefDataHandle* handle, const Edit& edit) {
    const auto field = [&edit](Field f) { return QxbString(edit.fields[f]); };
    switch (edit.rule->action) {
        case EditAction::Add: return admin->editAddItem(handle, field(kKey), field(kLabel), field(kParent));
        case EditAction::Remove: return admin->editRemoveItem(handle, field(kKey));
        case EditAction::Relabel: return admin->editRelabelItem(handle, field(kKey), field(kLabel));
        case EditAction::Move: return admin->editMoveItem(handle, field(kKey), field(kParent));
        case EditAction::Set:
            return admin->editSetItemValue(handle, field(kKey), field(kAttribute), field(kLanguage), field(kValue));
        case EditAction::Clear:
            return admin->editClearItemValue(handle, field(kKey), field(kAttribute), field(kLanguage));
        case EditAction::AddAttribute:
            return admin->editAddDomainAttribute(handle, field(kAttribute),
                                                 edit.fields[kLabel].empty() ? field(kAttribute) : field(kLabel));
        case EditAction::RemoveAttribute: return admin->editRemoveDomainAttribute(handle, field(kAttribute));
    }
    return false;
}

// --- rdm edit ---------------------------------------------------------------------------------------

struct EditOptions {
    std::string repository;
    std::string domain;
    std::string file;
    std::vector<std::string> lines;
    std::string versionLabel;
    std::string format;
    int account = kAdminAccount;
    bool dryRun = false;
    bool newDomain = false;
};

// The handle's edit session, cancelled on every path that does not commit it.
class OpenEdit {
public:
    OpenEdit(RefDataAdminEx* admin, RefDataHandle* handle) : admin_(admin), handle_(handle) {}
    OpenEdit(const OpenEdit&) = delete;
    OpenEdit& operator=(const OpenEdit&) = delete;
    ~OpenEdit() {
        if (open_) admin_->cancelDomainEdit(handle_);
    }
    void opened() { open_ = true; }
    void committed() { open_ = false; }

private:
    RefDataAdminEx* admin_;
    RefDataHandle* handle_;
    bool open_ = false;
};

// Reads the pending change records to their end: their number, or -1.
long countRows(RefDataCursor* cursor) {
    long count = 0;
    int answer = 0;
    while ((answer = cursor->next()) == 0) ++count;
    return answer == 1 ? count : -1;
}

int runEdit(const EditOptions& o) {
    announceWriterWaits();
    Format format;
    if (!parseFormat(o.format, &format)) return fail("unknown format '" + o.format + "'");
    if (o.newDomain) {
        const std::string problem = domainNameProblem(o.domain);
        if (!problem.empty()) return fail(problem);
    }
    if (o.account < 1) return fail("invalid account id " + std::to_string(o.account));
    // Every edit is checked before the repository is opened; every problem
    // is reported, not only the first.
    std::vector<Edit> edits;
    std::vector<std::string> problems;
    if (!o.file.empty()) readEditFile(o.file, &edits, &problems);
    for (std::size_t i = 0; i < o.lines.size(); ++i)
        readEditLine(o.lines[i], static_cast<int>(i + 1), &edits, &problems);
    if (!problems.empty()) {
        for (const std::string& problem : problems) fail(problem);
        return fail("nothing was changed: " + std::to_string(problems.size()) + " of the edits " +
                    (problems.size() == 1 ? "is" : "are") + " wrong");
    }

    RepositorySession repo;
    QxbString openError;
    if (!repo.open(o.repository, &openError)) return fail(openError);
    RefDataAdminEx* admin = repo.adminEx();
    if (repo.viewer() == nullptr || admin == nullptr) return fail(repo.errorText());
    RefDataHandle* handle = repo.handle();
    std::string error;
    if (!accountExists(repo, o.account, &error)) return fail(error);
    std::string name = o.domain;
    OpenEdit session(admin, handle);
    if (o.newDomain) {
        std::vector<int> ids;
        if (!domainIdsNamed(repo.viewer(), handle, o.domain, &ids)) return fail(repo.errorText());
        if (!ids.empty()) return fail("a domain named '" + o.domain + "' exists already");
        if (!admin->beginNewDomain(handle, QxbString(o.domain), QxbString(), QxbString(), true, QxbString(),
                                   static_cast<unsigned>(o.account), QxbString(o.versionLabel)))
            return fail(repo.errorText());
    } else {
        int id = -1;
        if (!findDomain(repo, o.domain, &id, &name, &error)) return fail(error);
        if (!admin->beginNewDomainVersion(handle, static_cast<unsigned>(id), QxbString(), QxbString(), false,
                                          static_cast<unsigned>(o.account), QxbString(o.versionLabel)))
            return fail(repo.errorText());
    }
    session.opened();

    // Every edit is tried, so that one run names every edit the library refuses.
    std::size_t refused = 0;
    for (const Edit& edit : edits) {
        if (applyEdit(admin, handle, edit)) continue;
        fail(edit.where + ": " + repo.errorText().str());
        ++refused;
    }
    if (refused > 0)
        return fail("nothing was changed: " + std::to_string(refused) + " of the edits " +
                    (refused == 1 ? "was" : "were") + " refused");

    OwnedCursor pending(admin->getPendingChanges(handle));
    if (!pending) return fail(repo.errorText());
    if (o.dryRun) {
        if (printCursor(pending.get(), format) < 0) return fail(repo.errorText());
        return kOk;  // the session is cancelled: nothing is written
    }
    const long changes = countRows(pending.get());
    if (changes < 0) return fail(repo.errorText());
    pending.reset();
    int number = 0;
    if (!admin->commitDomainEdit(handle, QxbString(), nullptr, nullptr, &number))
        return fail("nothing was changed: " + repo.errorText().str());
    session.committed();
    std::printf("Committed version %d of domain '%s' (%ld change%s)\n", number, name.c_str(), changes,
                changes == 1 ? "" : "s");
    return kOk;
}

// --- attributes -------------------------------------------------------------------------------------

struct AttributeOptions {
    std::string repository;
    std::string domain;
    std::string name;
    std::string label;
    std::string type = "SINGLELINETEXT";
    std::string context = "ITEM";
    std::string format;
    int languageId = 1;
    int account = kAdminAccount;
};

int listAttributes(const AttributeOptions& o) {
    Format format;
    if (!parseFormat(o.format, &format)) return fail("unknown format '" + o.format + "'");
    RepositorySession repo;
    RefDataViewerEx* viewer = openViewerEx(repo, o.repository);
    if (viewer == nullptr) return kFailed;
    int id = -1;
    std::string name, error;
    if (!o.domain.empty() && !findDomain(repo, o.domain, &id, &name, &error)) return fail(error);
    OwnedCursor attributes(viewer->getAttributes(repo.handle(), id));
    if (!attributes) return fail(repo.errorText());
    if (printCursor(attributes.get(), format) < 0) return fail(repo.errorText());
    return kOk;
}

int addAttribute(const AttributeOptions& o) {
    if (o.languageId < 1) return fail("invalid language id " + std::to_string(o.languageId));
    if (o.account < 1) return fail("invalid account id " + std::to_string(o.account));
    RepositorySession repo;
    QxbString openError;
    if (!repo.open(o.repository, &openError)) return fail(openError);
    RefDataAdmin* admin = repo.admin();
    if (admin == nullptr || repo.viewer() == nullptr) return fail(repo.errorText());
    std::string error;
    if (!accountExists(repo, o.account, &error)) return fail(error);
    unsigned id = 0;
    const std::string label = o.label.empty() ? o.name : o.label;
    if (!admin->createAttribute(repo.handle(), QxbString(o.name), QxbString(label), QxbString(o.type),
                                QxbString(o.context), static_cast<unsigned>(o.languageId),
                                static_cast<unsigned>(o.account), &id))
        return fail(repo.errorText());
    std::printf("Created attribute #%u '%s' (%s, %s)\n", id, o.name.c_str(), o.type.c_str(), o.context.c_str());
    return kOk;
}

int removeAttribute(const AttributeOptions& o) {
    if (o.account < 1) return fail("invalid account id " + std::to_string(o.account));
    RepositorySession repo;
    QxbString openError;
    if (!repo.open(o.repository, &openError)) return fail(openError);
    RefDataViewerEx* viewer = repo.viewerEx();
    RefDataAdmin* admin = repo.admin();
    if (viewer == nullptr || admin == nullptr) return fail(repo.errorText());
    std::string error;
    if (!accountExists(repo, o.account, &error)) return fail(error);
    OwnedCursor attributes(viewer->getAttributes(repo.handle(), -1));
    if (!attributes) return fail(repo.errorText());
    int id = -1;
    int answer = 0;
    while ((answer = attributes->next()) == 0)
        if (attributes->getString(1).str() == o.name) id = attributes->getInt(0);
    if (answer != 1) return fail(repo.errorText());
    attributes.reset();
    if (id < 0) return fail("no attribute is named '" + o.name + "' (see rdm attributes)");
    if (!admin->deleteAttribute(repo.handle(), static_cast<unsigned>(id), static_cast<unsigned>(o.account)))
        return fail(repo.errorText());
    std::printf("Removed attribute '%s' (#%d)\n", o.name.c_str(), id);
    return kOk;
}

void addFormatOption(CLI::App* command, std::string* format) {
    command->add_option("--format", *format, "Output: table, csv or json (default: table on a terminal, else csv)")
        ->check(CLI::IsMember({"table", "csv", "json"}));
}

}  // namespace

void addEditCommands(CLI::App& app, Action* action) {
    auto edit = std::make_shared<EditOptions>();
    CLI::App* editCmd = app.add_subcommand(
        "edit", "Apply edits (a file, --edit lines) to a domain and commit them as its new version, all or nothing");
    editCmd->add_option("repository", edit->repository, "Repository name")->required();
    editCmd->add_option("domain", edit->domain, "Domain name, or #ID (with --new: the new domain's name)")
        ->required();
    editCmd->add_option("--file", edit->file,
                        std::string("The edits: CSV with the header ") + kColumns +
                            ", or JSON (an array of objects with those fields) when the name ends in .json");
    editCmd->add_option("--edit", edit->lines,
                        std::string("One edit as a CSV line ") + kColumns +
                            " (repeatable; applied after --file; fields left out at the end are empty)")
        ->allow_extra_args(false);
    editCmd->add_flag("--dry-run", edit->dryRun, "Apply the edits, list the changes they would record, write nothing");
    editCmd->add_option("--version-label", edit->versionLabel, "Label of the new version (default: \"Version N\")");
    editCmd->add_flag("--new", edit->newDomain, "Create DOMAIN as a new domain (its version 1) instead");
    editCmd->add_option("--account", edit->account, "Acting account id (default 1)");
    addFormatOption(editCmd, &edit->format);
    editCmd->callback([action, edit, editCmd]() {
        if (editCmd->count("--file") == 0 && editCmd->count("--edit") == 0)
            throw CLI::RequiredError("--file or --edit");
        *action = [edit]() { return runEdit(*edit); };
    });

    auto attribute = std::make_shared<AttributeOptions>();
    CLI::App* listCmd = app.add_subcommand(
        "attributes", "List the attributes of a repository, or those of a domain's newest version");
    listCmd->add_option("repository", attribute->repository, "Repository name")->required();
    listCmd->add_option("domain", attribute->domain, "Domain name, or #ID");
    addFormatOption(listCmd, &attribute->format);
    listCmd->callback([action, attribute]() { *action = [attribute]() { return listAttributes(*attribute); }; });

    CLI::App* attributeCmd = app.add_subcommand("attribute", "Create or delete an attribute of a repository");
    attributeCmd->require_subcommand(1);
    CLI::App* addCmd = attributeCmd->add_subcommand("add", "Create an attribute");
    addCmd->add_option("repository", attribute->repository, "Repository name")->required();
    addCmd->add_option("name", attribute->name, "Attribute name")->required();
    addCmd->add_option("--label", attribute->label, "Label (default: the name)");
    addCmd->add_option("--type", attribute->type, "Attribute type")->capture_default_str();
    addCmd->add_option("--context", attribute->context, "Attribute context")->capture_default_str();
    addCmd->add_option("--language-id", attribute->languageId, "Language id of the label")->capture_default_str();
    addCmd->add_option("--account", attribute->account, "Acting account id (default 1)");
    addCmd->callback([action, attribute]() { *action = [attribute]() { return addAttribute(*attribute); }; });

    CLI::App* removeCmd = attributeCmd->add_subcommand("remove", "Delete an attribute, named by its name");
    removeCmd->add_option("repository", attribute->repository, "Repository name")->required();
    removeCmd->add_option("name", attribute->name, "Attribute name")->required();
    removeCmd->add_option("--account", attribute->account, "Acting account id (default 1)");
    removeCmd->callback([action, attribute]() { *action = [attribute]() { return removeAttribute(*attribute); }; });
}

}  // namespace rdm
