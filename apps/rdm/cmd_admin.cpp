// rdm copy|remove|remove-version|account add|accounts|connection|history:
// administering reference data through the library's administration object,
// and the store directly for what the library does not offer (renaming a
// domain, listing change records).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "RefDataAdminEx.h"
#include "RefDataHandle.h"
#include "RefDataViewer.h"
#include "output.h"
#include "qxbcpp.h"
#include "rdm.h"
#include "repadm.h"

namespace rdm {
namespace {

constexpr unsigned kAny = static_cast<unsigned>(-1);
constexpr int kAdminAccount = 1;

template <typename T>
struct Releaser {
    void operator()(T* object) const {
        if (object != nullptr) object->release();
    }
};
using OwnedCursor = std::unique_ptr<RefDataCursor, Releaser<RefDataCursor>>;
using OwnedRows = std::unique_ptr<StoreResultSet, Releaser<StoreResultSet>>;

// Prints the reason and answers false, for the steps of a command.
bool refuse(const std::string& text) {
    fail(text);
    return false;
}
bool refuse(const QxbString& text) { return refuse(text.str()); }

// A repository opened through the library with its viewer and admin; on
// failure the reason has been printed.
struct OpenRepository {
    RepositorySession session;
    RefDataViewer* viewer = nullptr;
    RefDataAdmin* admin = nullptr;

    bool open(const std::string& name, bool needData = true) {
        QxbString error;
        if (!session.open(name, &error, needData)) return refuse(error);
        viewer = session.viewer();
        admin = session.admin();
        if (viewer == nullptr || admin == nullptr) return refuse(session.errorText());
        return true;
    }
    RefDataHandle* handle() const { return session.handle(); }
};

struct Domain {
    int id = -1;
    std::string name;
};

// Finds the domain named on the command line; prints the reason when not.
bool findDomain(OpenRepository& repo, const std::string& reference, Domain* domain) {
    std::string error;
    if (!rdm::findDomain(repo.session, reference, &domain->id, &domain->name, &error)) return refuse(error);
    return true;
}

// The number of versions of a domain and the first listed one's number.
bool domainVersions(OpenRepository& repo, int domainId, int* count, int* firstNumber) {
    OwnedCursor versions(repo.viewer->getDomainVersions(repo.handle(), domainId, -1));
    if (!versions) return refuse(repo.session.errorText());
    *count = 0;
    while (versions->next() == 0) {
        if (++*count == 1) *firstNumber = versions->getInt(2);
    }
    return true;
}

bool accountExists(OpenRepository& repo, int accountId) {
    std::string error;
    return rdm::accountExists(repo.session, accountId, &error) || refuse(error);
}

bool domainNames(OpenRepository& repo, std::set<std::string>* names) {
    OwnedCursor domains(repo.viewer->getDomainWithDetails(repo.handle(), -1, true));
    if (!domains) return refuse(repo.session.errorText());
    while (domains->next() == 0) names->insert(domains->getString(1).str());
    return true;
}

void addFormatOption(CLI::App* command, std::string* format) {
    command->add_option("--format", *format, "Output: table, csv or json (default: table on a terminal, else csv)")
        ->check(CLI::IsMember({"table", "csv", "json"}));
}

// --- copy -------------------------------------------------------------------------------------

struct CopyOptions {
    std::string repository;
    std::string domain;
    std::string name;
    bool nameGiven = false;
    int account = kAdminAccount;
};

int copyDomain(const CopyOptions& o) {
    if (o.nameGiven) {
        const std::string problem = domainNameProblem(o.name);
        if (!problem.empty()) return fail(problem);
    }
    OpenRepository repo;
    Domain source;
    std::set<std::string> names;
    int versions = 0;
    int copied = 0;
    if (!repo.open(o.repository) || !findDomain(repo, o.domain, &source) || !accountExists(repo, o.account) ||
        !domainVersions(repo, source.id, &versions, &copied) || !domainNames(repo, &names))
        return kFailed;
    if (versions == 0) return fail("the domain '" + source.name + "' has no version to copy");
    if (!o.name.empty() && names.count(o.name) > 0) return fail("a domain named '" + o.name + "' exists already");
    // The library chooses the name (the given one, or the first free
    // "NAME copy N"), copies and records in one transaction, so two copies
    // at once never share a name and the copy never shows its source's.
    RefDataAdminEx* admin = repo.session.session()->getAdminEx(repo.handle());
    unsigned newId = 0;
    QxbString chosen;
    if (admin == nullptr || !admin->copyDomainAs(repo.handle(), static_cast<unsigned>(source.id), QxbString(o.name),
                                                 static_cast<unsigned>(o.account), &newId, &chosen))
        return fail(repo.session.errorText());
    const std::string newName = chosen.str();
    std::printf("Created domain #%u '%s' from version %d of '%s' (#%d)\n", newId, newName.c_str(), copied,
                source.name.c_str(), source.id);
    return kOk;
}

// --- remove ------------------------------------------------------------------------------------

struct RemoveOptions {
    std::string repository;
    std::string domain;
    int version = -1;
    int account = kAdminAccount;
};

int removeDomain(const RemoveOptions& o) {
    OpenRepository repo;
    Domain domain;
    int versions = 0;
    int first = 0;
    if (!repo.open(o.repository) || !findDomain(repo, o.domain, &domain) || !accountExists(repo, o.account) ||
        !domainVersions(repo, domain.id, &versions, &first))
        return kFailed;
    if (!repo.admin->removeDomain(repo.handle(), static_cast<unsigned>(domain.id), static_cast<unsigned>(o.account)))
        return fail(repo.session.errorText());
    std::printf("Removed domain '%s' (#%d) with %d version%s\n", domain.name.c_str(), domain.id, versions,
                versions == 1 ? "" : "s");
    return kOk;
}

// The domain and number of a version id; prints the reason when unknown.
bool findVersion(OpenRepository& repo, int versionId, Domain* domain, int* number) {
    OwnedCursor versions(repo.viewer->getDomainVersions(repo.handle(), -1, -1));
    if (!versions) return refuse(repo.session.errorText());
    while (versions->next() == 0) {
        if (versions->getInt(0) != versionId) continue;
        *number = versions->getInt(2);
        return findDomain(repo, "#" + std::to_string(versions->getInt(1)), domain);
    }
    return refuse("no version has the id " + std::to_string(versionId));
}

int removeVersion(const RemoveOptions& o) {
    OpenRepository repo;
    Domain domain;
    int number = 0;
    if (!repo.open(o.repository) || !findVersion(repo, o.version, &domain, &number) ||
        !accountExists(repo, o.account))
        return kFailed;
    if (!repo.admin->removeDomainVersion(repo.handle(), static_cast<unsigned>(o.version),
                                         static_cast<unsigned>(o.account)))
        return fail(repo.session.errorText());
    std::printf("Removed version %d (#%d) of domain '%s' (#%d)\n", number, o.version, domain.name.c_str(),
                domain.id);
    return kOk;
}

// --- accounts -------------------------------------------------------------------------------------

struct AccountOptions {
    std::string repository;
    std::string name;
    std::string key;
    std::string text;
    std::string type = "USER";
    std::string format;
};

int addAccount(const AccountOptions& o) {
    OpenRepository repo;
    if (!repo.open(o.repository)) return kFailed;
    OwnedCursor existing(repo.viewer->getAccounts(repo.handle(), -1, QxbString(), QxbString(), QxbString(o.key)));
    if (!existing) return fail(repo.session.errorText());
    if (existing->next() == 0) {
        std::printf("Account #%d '%s' has the key '%s' already\n", existing->getInt(0),
                    existing->getString(1).asCstr(), o.key.c_str());
        return kOk;
    }
    unsigned id = 0;
    const QxbString text = o.text.empty() ? QxbString() : QxbString(o.text);
    if (!repo.admin->createAccount(repo.handle(), QxbString(o.name), QxbString(o.key), text, QxbString(o.type), -1,
                                   &id))
        return fail(repo.session.errorText());
    std::printf("Created account #%u '%s' (key '%s', type %s)\n", id, o.name.c_str(), o.key.c_str(),
                o.type.c_str());
    return kOk;
}

int listAccounts(const AccountOptions& o) {
    Format format;
    if (!parseFormat(o.format, &format)) return fail("unknown format '" + o.format + "'");
    OpenRepository repo;
    if (!repo.open(o.repository)) return kFailed;
    OwnedCursor accounts(repo.viewer->getAccounts(repo.handle(), -1, QxbString(), QxbString(), QxbString()));
    if (!accounts) return fail(repo.session.errorText());
    if (printCursor(accounts.get(), format) < 0) return fail(repo.session.errorText());
    return kOk;
}

// --- connection ----------------------------------------------------------------------------------

struct ConnectionOptions {
    std::string repository;
    std::string dsn;
    std::string prefix;
    bool set = false;
    bool hasPrefix = false;
};

// The repository's key/value failures reach only the log: the handle's
// error text names a reason only when it changed.
int connectionFailed(const std::string& what, const QxbString& before, const QxbString& after) {
    if (after.length() > 0 && after != before) return fail(what + ": " + after.str());
    return fail(what + " (the log names the reason)");
}

int connection(const ConnectionOptions& o) {
    OpenRepository repo;
    if (!repo.open(o.repository, false)) return kFailed;
    QxbString dsn, prefix;
    const QxbString before = repo.session.errorText();
    if (!repo.admin->getConnection(repo.handle(), &dsn, &prefix))
        return connectionFailed("cannot read the connection of " + o.repository, before, repo.session.errorText());
    if (o.set) {
        const QxbString newPrefix = o.hasPrefix ? QxbString(o.prefix) : prefix;
        if (!repo.admin->setConnection(repo.handle(), QxbString(o.dsn), newPrefix)) {
            const QxbString reason = repo.session.errorText();
            // Put the old settings back so that the repository stays usable.
            repo.admin->setConnection(repo.handle(), dsn, prefix);
            return connectionFailed("cannot use the data source '" + o.dsn + "', the connection stays '" +
                                        dsn.str() + "'",
                                    before, reason);
        }
        dsn = QxbString(o.dsn);
        prefix = newPrefix;
    }
    std::printf("Data source:   %s\n", masked(dsn.str()).c_str());
    std::printf("Table prefix:  %s\n", prefix.asCstr());
    const bool attached = repo.admin->checkConnection(repo.handle());
    std::printf("Stores:        %s\n", attached ? "attached" : "not attached");
    // Why not, as the open found it (e.g. a database that is gone).
    if (!attached && !o.set && before.length() > 0) std::printf("Reason:        %s\n", masked(before.str()).c_str());
    return kOk;
}

// --- history ---------------------------------------------------------------------------------------

struct HistoryOptions {
    std::string repository;
    std::string domain;
    std::string format;
};

std::string idText(int id) { return id == -1 ? "" : std::to_string(id); }

int history(const HistoryOptions& o) {
    Format format;
    if (!parseFormat(o.format, &format)) return fail("unknown format '" + o.format + "'");
    int domainId = -1;
    OpenRepository repo;
    if (!repo.open(o.repository)) return kFailed;
    if (!o.domain.empty() && !isIdReference(o.domain, &domainId)) {
        Domain domain;
        if (!findDomain(repo, o.domain, &domain)) return kFailed;
        domainId = domain.id;
    }
    // The change records have no query of their own in the library: they are
    // read from the store the handle resolved.
    RefDataStore* store = repo.handle()->queryStore;
    if (store == nullptr) return fail(repo.session.errorText());
    const QxbString none;
    OwnedRows records(store->listChangeRecords(kAny, static_cast<unsigned>(domainId), none, kAny, none, none, kAny,
                                               kAny, QxbDate()));
    if (!records) return fail(store->getLastError());
    Rows rows;
    rows.columns = {"ID", "DOMAIN", "TABLE", "OBJECT", "DESCRIPTION", "ACCOUNT", "DATE"};
    while (records->next() == 1) {
        rows.values.push_back({idText(records->getInt(0)), idText(records->getInt(1)), records->getString(4).str(),
                               idText(records->getInt(3)), records->getString(5).str(), idText(records->getInt(7)),
                               QxbDate(records->getDouble(8)).toString().str()});
    }
    printRows(rows, format);
    return kOk;
}

void addCopyAndRemove(CLI::App& app, Action* action) {
    auto copy = std::make_shared<CopyOptions>();
    CLI::App* copyCmd = app.add_subcommand(
        "copy", "Copy a domain into a new domain; the copy's version 1 holds the source's first (oldest) version");
    copyCmd->add_option("repository", copy->repository, "Repository name")->required();
    copyCmd->add_option("domain", copy->domain, "Domain name, or #ID")->required();
    copyCmd->add_option("--name", copy->name, "Name of the copy (default: 'NAME copy N', the first N free)");
    copyCmd->add_option("--account", copy->account, "Acting account id (default 1)");
    copyCmd->callback([action, copy, copyCmd]() {
        copy->nameGiven = copyCmd->count("--name") > 0;
        *action = [copy]() { return copyDomain(*copy); };
    });

    auto remove = std::make_shared<RemoveOptions>();
    CLI::App* removeCmd = app.add_subcommand("remove", "Remove a domain with every version and everything in them");
    removeCmd->add_option("repository", remove->repository, "Repository name")->required();
    removeCmd->add_option("domain", remove->domain, "Domain name, or #ID")->required();
    removeCmd->add_option("--account", remove->account, "Acting account id (default 1)");
    removeCmd->callback([action, remove]() { *action = [remove]() { return removeDomain(*remove); }; });

    CLI::App* versionCmd = app.add_subcommand("remove-version", "Remove one version of a domain by its id");
    versionCmd->add_option("repository", remove->repository, "Repository name")->required();
    versionCmd->add_option("version", remove->version, "Version id (the VERSION_ID of rdm versions)")->required();
    versionCmd->add_option("--account", remove->account, "Acting account id (default 1)");
    versionCmd->callback([action, remove]() { *action = [remove]() { return removeVersion(*remove); }; });
}

void addAccountsAndSettings(CLI::App& app, Action* action) {
    auto account = std::make_shared<AccountOptions>();
    CLI::App* accountCmd = app.add_subcommand("account", "Manage accounts");
    accountCmd->require_subcommand(1);
    CLI::App* addCmd = accountCmd->add_subcommand("add", "Create an account, unless one has the key already");
    addCmd->add_option("repository", account->repository, "Repository name")->required();
    addCmd->add_option("name", account->name, "Account name")->required();
    addCmd->add_option("--key", account->key, "Account key (identifies the account)")->required();
    addCmd->add_option("--text", account->text, "Description");
    addCmd->add_option("--type", account->type, "Account type")->capture_default_str();
    addCmd->callback([action, account]() { *action = [account]() { return addAccount(*account); }; });

    CLI::App* accountsCmd = app.add_subcommand("accounts", "List the accounts of a repository");
    accountsCmd->add_option("repository", account->repository, "Repository name")->required();
    addFormatOption(accountsCmd, &account->format);
    accountsCmd->callback([action, account]() { *action = [account]() { return listAccounts(*account); }; });

    auto settings = std::make_shared<ConnectionOptions>();
    CLI::App* connectionCmd =
        app.add_subcommand("connection", "Show or change where a repository's reference data lives");
    connectionCmd->add_option("repository", settings->repository, "Repository name")->required();
    CLI::Option* set = connectionCmd->add_option(
        "--set", settings->dsn, "New data source: a name from [datasources], sqlite:PATH or postgresql://... (empty: none)");
    connectionCmd->add_option("--prefix", settings->prefix, "New table prefix (default: keep the current one)")
        ->needs(set);
    connectionCmd->callback([action, settings, connectionCmd]() {
        settings->set = connectionCmd->count("--set") > 0;
        settings->hasPrefix = connectionCmd->count("--prefix") > 0;
        *action = [settings]() { return connection(*settings); };
    });

    auto past = std::make_shared<HistoryOptions>();
    CLI::App* historyCmd = app.add_subcommand("history", "List the change records, oldest first");
    historyCmd->add_option("repository", past->repository, "Repository name")->required();
    historyCmd->add_option("domain", past->domain, "Only this domain (name, or #ID also for a removed domain)");
    addFormatOption(historyCmd, &past->format);
    historyCmd->callback([action, past]() { *action = [past]() { return history(*past); }; });
}

}  // namespace

void addAdminCommands(CLI::App& app, Action* action) {
    addCopyAndRemove(app, action);
    addAccountsAndSettings(app, action);
}

}  // namespace rdm
