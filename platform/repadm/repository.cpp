// The repository administration object, named repositories (key/values in
// a file under the home folder) and data repositories (a database and a
// table prefix), and the library's exported factory.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <vector>

#include "data_source.h"
#include "repadm.h"
#include "store_impl.h"

namespace repadm {

namespace {

const char kRepositoryExtension[] = ".repo";
const char kDsnKey[] = "REFDATA_DSN";
const char kPrefixKey[] = "REFDATA_PREFIX";

std::string& factoryError() {
    static std::string error;
    return error;
}

// --- key/value files: one "KEY=VALUE" per line, '\\', '\n', '\r', '=' escaped ---

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '=')
            out += "\\e";
        else
            out += c;
    }
    return out;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 'e' ? '=' : c;
    }
    return out;
}

typedef std::map<std::string, std::string> KeyValues;

bool readKeyValues(const std::string& path, KeyValues* values, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read \"" + path + "\"";
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t at = line.find('=');
        if (at == std::string::npos) continue;
        (*values)[unescape(line.substr(0, at))] = unescape(line.substr(at + 1));
    }
    return true;
}

// Written to a temporary file and renamed, so a reader sees the old or the
// new content, never a half-written file.
bool writeKeyValues(const std::string& path, const KeyValues& values, std::string* error) {
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const auto& entry : values) {
            out << escape(entry.first) << '=' << escape(entry.second) << '\n';
        }
        out.flush();
        if (!out) {
            *error = "cannot write \"" + temporary + "\"";
            std::remove(temporary.c_str());
            return false;
        }
    }
    chmod(temporary.c_str(), 0600);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot replace \"" + path + "\"";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

std::string repositoriesFolder() {
    return qxbHomeFolder() + "/repositories";
}

std::string repositoryPath(const std::string& name) {
    return repositoriesFolder() + "/" + name + kRepositoryExtension;
}

bool validRepositoryName(const std::string& name) {
    if (name.empty() || name[0] == '.' || name.size() > 200) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.';
    });
}

// A store on (dsn, prefix), or one that fails every call with the reason.
RefDataStore* storeFor(const std::string& dsn, const std::string& prefix) {
    std::string path, error;
    std::shared_ptr<StoreSession> session;
    if (resolveDsn(dsn, &path, &error) && validTablePrefix(prefix, &error)) {
        session = openSession(path, prefix, false, &error);
    }
    return new (std::nothrow) RefDataStoreImpl(session, error);
}

// --- repositories ---------------------------------------------------------------------

class RepositoryBase : public Repository {
public:
    QxbString getLastError() override { return lastError_; }
    void release() override { delete this; }
    QxbString getName() override { return QxbString(name_); }

protected:
    explicit RepositoryBase(std::string name) : name_(std::move(name)) {}
    bool fail(const std::string& text) {
        lastError_ = QxbString(text);
        return false;
    }
    std::string name_;
    QxbString lastError_;
};

// A named repository: its key/values live in repositories/NAME.repo; its
// stores use the data repository its REFDATA_DSN and REFDATA_PREFIX name.
class NamedRepository : public RepositoryBase {
public:
    NamedRepository(std::string name, KeyValues values)
        : RepositoryBase(std::move(name)), values_(std::move(values)) {}

    RefDataStore* createStore() override {
        auto dsn = values_.find(kDsnKey);
        if (dsn == values_.end() || dsn->second.empty()) {
            return new (std::nothrow) RefDataStoreImpl(
                nullptr, "the repository \"" + name_ + "\" names no data source (" + kDsnKey + ")");
        }
        auto prefix = values_.find(kPrefixKey);
        return storeFor(dsn->second, prefix == values_.end() ? std::string() : prefix->second);
    }
    bool setKeyValue(const QxbString& key, const QxbString& value) override {
        KeyValues changed = values_;
        changed[key.str()] = value.str();
        std::string error;
        if (!writeKeyValues(repositoryPath(name_), changed, &error)) {
            return fail("setKeyValue(" + key.str() + "): " + error);
        }
        values_.swap(changed);
        return true;
    }
    bool getKeyValue(const QxbString& key, QxbString* value) override {
        auto found = values_.find(key.str());
        if (found == values_.end()) {
            return fail("the repository \"" + name_ + "\" has no key \"" + key.str() + "\"");
        }
        if (value) *value = QxbString(found->second);
        return true;
    }

private:
    KeyValues values_;
};

// A data repository: a database with a table prefix. Its key/values live in
// the prefix's meta table.
class DataRepository : public RepositoryBase {
public:
    DataRepository(std::string dsn, std::string prefix, std::shared_ptr<StoreSession> session)
        : RepositoryBase(std::move(dsn)),
          prefix_(std::move(prefix)),
          session_(std::move(session)) {}

    RefDataStore* createStore() override { return storeFor(name_, prefix_); }
    bool setKeyValue(const QxbString& key, const QxbString& value) override {
        std::string error;
        std::unique_ptr<SqlStatement> statement = session_->connection().prepare(
            session_->withPrefix(
                "INSERT INTO {P}meta (META_KEY, META_VALUE) VALUES (?, ?) "
                "ON CONFLICT (META_KEY) DO UPDATE SET META_VALUE = excluded.META_VALUE"),
            &error);
        if (statement) {
            bindValue(*statement, 1, textValue(key));
            bindValue(*statement, 2, textValue(value));
            if (statement->step() >= 0) return true;
            error = session_->connection().errorText();
        }
        return fail("setKeyValue(" + key.str() + "): " + error);
    }
    bool getKeyValue(const QxbString& key, QxbString* value) override {
        std::string error;
        std::unique_ptr<SqlStatement> statement = session_->connection().prepare(
            session_->withPrefix("SELECT META_VALUE FROM {P}meta WHERE META_KEY = ?"), &error);
        if (!statement) return fail("getKeyValue(" + key.str() + "): " + error);
        bindValue(*statement, 1, textValue(key));
        const int rc = statement->step();
        if (rc < 0)
            return fail("getKeyValue(" + key.str() + "): " + session_->connection().errorText());
        if (rc == 0) return fail("the data repository has no key \"" + key.str() + "\"");
        std::size_t length = 0;
        const char* text = statement->columnText(0, &length);
        if (value)
            *value =
                statement->columnType(0) == SqlType::Null ? QxbString() : QxbString(text, length);
        return true;
    }

private:
    std::string prefix_;
    std::shared_ptr<StoreSession> session_;
};

// --- the administration object -----------------------------------------------------------

class RepositoryAdminImpl : public RepositoryAdmin {
public:
    QxbString getLastError() override { return lastError_; }
    void release() override { delete this; }

    Repository* openRepository(const QxbString& name, int, int) override {
        if (!validRepositoryName(name.str())) {
            fail("openRepository: \"" + name.str() + "\" is not a repository name");
            return nullptr;
        }
        KeyValues values;
        std::string error;
        const std::string path = repositoryPath(name.str());
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            fail("openRepository: no repository named \"" + name.str() + "\" (" + path + ")");
            return nullptr;
        }
        if (!readKeyValues(path, &values, &error)) {
            fail("openRepository(" + name.str() + "): " + error);
            return nullptr;
        }
        return created(new (std::nothrow) NamedRepository(name.str(), std::move(values)));
    }

    Repository* openRepositoryByDsn(const QxbString& dsn, const QxbString& tablePrefix, int,
                                    int) override {
        std::string path, error;
        if (!resolveDsn(dsn.str(), &path, &error) || !validTablePrefix(tablePrefix.str(), &error)) {
            fail("openRepositoryByDsn: " + error);
            return nullptr;
        }
        std::shared_ptr<StoreSession> session = openSession(path, tablePrefix.str(), false, &error);
        if (!session) {
            fail("openRepositoryByDsn: " + error);
            return nullptr;
        }
        return created(new (std::nothrow) DataRepository(dsn.str(), tablePrefix.str(), session));
    }

    bool createRepository(const QxbString& name, const QxbString& dsn,
                          const QxbString& tablePrefix) override {
        std::string error;
        if (!validRepositoryName(name.str())) {
            return fail(
                "createRepository: \"" + name.str() +
                "\" is not a valid name (letters, digits, '-', '_', '.'; not starting with '.')");
        }
        if (!validTablePrefix(tablePrefix.str(), &error)) return fail("createRepository: " + error);
        QxbString homeError;
        if (!qxbEnsureHomeFolder(&homeError)) return fail("createRepository: " + homeError.str());
        const std::string path = repositoryPath(name.str());
        struct stat info;
        if (stat(path.c_str(), &info) == 0) {
            return fail("createRepository: a repository named \"" + name.str() + "\" exists");
        }
        KeyValues values{{kDsnKey, dsn.str()}, {kPrefixKey, tablePrefix.str()}};
        if (!writeKeyValues(path, values, &error)) return fail("createRepository: " + error);
        return true;
    }

    bool listRepositories(QxbString* namesOut) override {
        std::vector<std::string> names;
        DIR* folder = opendir(repositoriesFolder().c_str());
        if (folder) {
            const std::string extension = kRepositoryExtension;
            while (dirent* entry = readdir(folder)) {
                const std::string file = entry->d_name;
                if (file.size() > extension.size() &&
                    file.compare(file.size() - extension.size(), extension.size(), extension) ==
                        0) {
                    names.push_back(file.substr(0, file.size() - extension.size()));
                }
            }
            closedir(folder);
        }
        std::sort(names.begin(), names.end());
        std::string joined;
        for (const std::string& name : names) joined += (joined.empty() ? "" : "\n") + name;
        if (namesOut) *namesOut = QxbString(joined);
        return true;
    }

    bool createRepositoryByDsn(const QxbString& dsn, const QxbString& tablePrefix) override {
        std::string path, error;
        if (!resolveDsn(dsn.str(), &path, &error) || !validTablePrefix(tablePrefix.str(), &error) ||
            !openSession(path, tablePrefix.str(), true, &error)) {
            return fail("createRepositoryByDsn: " + error);
        }
        return true;
    }

private:
    Repository* created(Repository* repository) {
        if (!repository) fail("out of memory");
        return repository;
    }
    bool fail(const std::string& text) {
        lastError_ = QxbString(text);
        return false;
    }
    QxbString lastError_;
};

}  // namespace

}  // namespace repadm

RepositoryAdmin* createRepositoryAdmin(int version, int) {
    if (version != 1) {
        repadm::factoryError() = "createRepositoryAdmin: unknown interface version " +
                                 std::to_string(version) + " (this library offers 1)";
        return nullptr;
    }
    RepositoryAdmin* admin = new (std::nothrow) repadm::RepositoryAdminImpl();
    if (!admin) repadm::factoryError() = "createRepositoryAdmin: out of memory";
    return admin;
}

const char* getRepositoryAdminError() {
    return repadm::factoryError().c_str();
}
