// rdm repo create|init|list|show: named repositories and where their
// reference data lives.
#include <CLI/CLI.hpp>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "qxbcpp.h"
#include "rdm.h"
#include "repadm.h"

namespace rdm {
namespace {

const char* const kDefaultPrefix = "kiv_rdm_";

// The repository library's admin object, released on every path.
class AdminGuard {
public:
    AdminGuard() : admin_(createRepositoryAdmin(1, 0)) {}
    ~AdminGuard() {
        if (admin_ != nullptr) admin_->release();
    }
    AdminGuard(const AdminGuard&) = delete;
    AdminGuard& operator=(const AdminGuard&) = delete;
    RepositoryAdmin* operator->() const { return admin_; }
    explicit operator bool() const { return admin_ != nullptr; }

private:
    RepositoryAdmin* admin_;
};

struct CreateOptions {
    std::string name;
    std::string dsn;
    std::string prefix = kDefaultPrefix;
};

// The repository library checks names too; checking here first keeps a bad
// name from creating its default data file before it is refused.
bool validRepositoryName(const std::string& name) {
    if (name.empty() || name[0] == '.') return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

// The default data repositories live in "data" under the home folder.
bool ensureDataFolder() {
    const std::string folder = qxbResolveHomePath("data");
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// The database file of a "sqlite:PATH" data source that does not exist yet,
// with the journal files SQLite keeps beside it.
class NewDatabaseFile {
public:
    explicit NewDatabaseFile(const std::string& dsn) {
        const std::string scheme = "sqlite:";
        if (dsn.compare(0, scheme.size(), scheme) != 0 || dsn.size() == scheme.size()) return;
        const std::string rest = dsn.substr(scheme.size());
        if (rest.compare(0, 5, "file:") == 0) return;  // a URI: its file is not named plainly
        const std::string path = qxbResolveHomePath(rest);
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 && errno == ENOENT) path_ = path;
    }
    void removeIfMade() const {
        if (path_.empty()) return;
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::remove((path_ + suffix).c_str());
    }

private:
    std::string path_;  // empty: the file was there before, or is no file
};

int createRepository(const CreateOptions& options) {
    if (!validRepositoryName(options.name))
        return fail("invalid repository name '" + options.name +
                    "': use letters, digits, '-', '_' and '.', not starting with '.'");
    QxbString error;
    if (!qxbEnsureHomeFolder(&error)) return fail(error);
    AdminGuard admin;
    if (!admin) return fail(std::string(getRepositoryAdminError()));
    const std::string dsn = options.dsn.empty() ? "sqlite:data/" + options.name + ".db" : options.dsn;
    if (options.dsn.empty() && !ensureDataFolder()) return fail("cannot create " + qxbResolveHomePath("data"));
    // Create the data repository first: it rejects a bad data source or
    // prefix before the repository is recorded. A database file made here
    // goes again when the creation fails.
    const NewDatabaseFile made(dsn);
    if (!admin->createRepositoryByDsn(QxbString(dsn), QxbString(options.prefix))) {
        made.removeIfMade();
        return fail(admin->getLastError());
    }
    if (!admin->createRepository(QxbString(options.name), QxbString(dsn), QxbString(options.prefix))) {
        const QxbString reason = admin->getLastError();
        made.removeIfMade();
        return fail(reason);
    }
    std::printf("Created repository '%s' (data source %s, table prefix %s)\n", options.name.c_str(),
                masked(dsn).c_str(), options.prefix.c_str());
    return kOk;
}

// A data repository without a named repository, e.g. the data server that
// config.toml names (REFDATA/DSN): opening never creates its tables.
int initDataRepository(const CreateOptions& options) {
    QxbString error;
    if (!qxbEnsureHomeFolder(&error)) return fail(error);
    AdminGuard admin;
    if (!admin) return fail(std::string(getRepositoryAdminError()));
    const NewDatabaseFile made(options.dsn);
    if (!admin->createRepositoryByDsn(QxbString(options.dsn), QxbString(options.prefix))) {
        made.removeIfMade();
        return fail(admin->getLastError());
    }
    std::printf("Data repository ready (data source %s, table prefix %s)\n", masked(options.dsn).c_str(),
                options.prefix.c_str());
    return kOk;
}

int listRepositories() {
    AdminGuard admin;
    if (!admin) return fail(std::string(getRepositoryAdminError()));
    QxbString names;
    if (!admin->listRepositories(&names)) return fail(admin->getLastError());
    std::fputs(names.asCstr(), stdout);
    if (names.length() > 0 && names.str().back() != '\n') std::fputc('\n', stdout);
    return kOk;
}

// Reads one key of the platform configuration; false when it is absent.
bool configValue(QxbConfigOptions* options, const char* key, QxbString* value) {
    return options != nullptr && options->get(QxbString(key), value, 0);
}

int showRepository(const std::string& name) {
    RepositorySession repo;
    QxbString error;
    if (!repo.open(name, &error, false)) return fail(error);
    // Why the data repository was not attached, before a check replaces it.
    const QxbString attachReason = repo.errorText();
    RefDataAdmin* admin = repo.admin();
    if (admin == nullptr) return fail(repo.errorText());

    QxbString dsn, prefix;
    if (!admin->getConnection(repo.handle(), &dsn, &prefix)) return fail(repo.errorText());

    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    QxbString dataServer, configDsn, configPrefix;
    QxbDatavar flag;
    bool useDataServer = false;
    if (configValue(options, "REFDATA/DATASERVER", &dataServer)) {
        flag.assign(dataServer);
        useDataServer = flag.asBool();
    }
    const bool fromConfig = useDataServer && configValue(options, "REFDATA/DSN", &configDsn);
    if (fromConfig && !configValue(options, "REFDATA/PREFIX", &configPrefix)) configPrefix.assign(kDefaultPrefix);

    std::printf("Repository:    %s\n", name.c_str());
    std::printf("Data server:   %s\n", useDataServer ? "yes (REFDATA/DATASERVER is true)" : "no");
    if (fromConfig) {
        std::printf("Data source:   %s (from the configuration)\n", masked(configDsn.str()).c_str());
        std::printf("Table prefix:  %s (from the configuration)\n", configPrefix.asCstr());
    } else {
        std::printf("Data source:   %s (from the repository's key/values)\n", masked(dsn.str()).c_str());
        std::printf("Table prefix:  %s (from the repository's key/values)\n", prefix.asCstr());
    }
    const bool attached = admin->checkConnection(repo.handle());
    std::printf("Stores:        %s\n", attached ? "attached" : "not attached");
    if (!attached) {
        const QxbString reason = attachReason.length() > 0 ? attachReason : repo.errorText();
        if (reason.length() > 0) std::printf("Reason:        %s\n", masked(reason.str()).c_str());
    }
    return kOk;
}

}  // namespace

void addRepoCommands(CLI::App& app, Action* action) {
    CLI::App* repo = app.add_subcommand("repo", "Create, list and show named repositories");
    repo->require_subcommand(1);

    auto create = std::make_shared<CreateOptions>();
    CLI::App* createCmd = repo->add_subcommand("create", "Create a repository with a data repository for its reference data");
    createCmd->add_option("name", create->name, "Repository name (letters, digits, '-', '_', '.')")->required();
    createCmd->add_option("--dsn", create->dsn,
                          "Data source: a name from [datasources] of config.toml, sqlite:PATH or postgresql://... "
                          "(default: sqlite:data/NAME.db in the home folder)");
    createCmd->add_option("--prefix", create->prefix, "Table prefix (letters, digits, '_')")
        ->capture_default_str();
    createCmd->callback([action, create]() { *action = [create]() { return createRepository(*create); }; });

    auto init = std::make_shared<CreateOptions>();
    CLI::App* initCmd = repo->add_subcommand(
        "init", "Create the reference-data tables of a data source (e.g. the data server of config.toml)");
    initCmd->add_option("--dsn", init->dsn, "Data source: a name from [datasources] of config.toml, sqlite:PATH or postgresql://...")
        ->required();
    initCmd->add_option("--prefix", init->prefix, "Table prefix (letters, digits, '_')")->capture_default_str();
    initCmd->callback([action, init]() { *action = [init]() { return initDataRepository(*init); }; });

    CLI::App* listCmd = repo->add_subcommand("list", "List the repositories of the home folder");
    listCmd->callback([action]() { *action = listRepositories; });

    auto showName = std::make_shared<std::string>();
    CLI::App* showCmd = repo->add_subcommand("show", "Open a repository and show where its reference data lives");
    showCmd->add_option("name", *showName, "Repository name")->required();
    showCmd->callback([action, showName]() { *action = [showName]() { return showRepository(*showName); }; });
}

}  // namespace rdm
