// Configuration options: "config.toml" in the home folder, flattened into
// "TABLE/KEY" texts and read again whenever the file changes.
#include "qxbcpp.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <vector>

#include <toml++/toml.h>

namespace {

struct DataSourceEntry {
    std::string name, connection, driver, description;
};

// What identifies one state of the file on disk.
struct FileSignature {
    bool exists = false;
    long long seconds = 0, nanoseconds = 0, size = 0, inode = 0;
    bool operator==(const FileSignature& o) const {
        return exists == o.exists && seconds == o.seconds && nanoseconds == o.nanoseconds &&
               size == o.size && inode == o.inode;
    }
};

struct ConfigContent {
    std::map<std::string, std::string> values;
    std::vector<DataSourceEntry> dataSources;
};

std::mutex configMutex;  // guards everything below and every options object

class ConfigOptionsImpl : public QxbConfigOptions {
public:
    explicit ConfigOptionsImpl(std::string path) : path_(std::move(path)) {}

    bool get(const QxbString& key, QxbString* value, int) override {
        std::lock_guard<std::mutex> lock(configMutex);
        const auto found = content_.values.find(key.str());
        if (found == content_.values.end()) return false;
        if (value) *value = QxbString(found->second);
        return true;
    }

    int dataSourceCount() override {
        std::lock_guard<std::mutex> lock(configMutex);
        return static_cast<int>(content_.dataSources.size());
    }

    bool dataSource(int index, QxbString* name, QxbString* connection, QxbString* driver,
                    QxbString* description) override {
        std::lock_guard<std::mutex> lock(configMutex);
        if (index < 0 || index >= static_cast<int>(content_.dataSources.size())) return false;
        const DataSourceEntry& entry = content_.dataSources[static_cast<std::size_t>(index)];
        if (name) *name = QxbString(entry.name);
        if (connection) *connection = QxbString(entry.connection);
        if (driver) *driver = QxbString(entry.driver);
        if (description) *description = QxbString(entry.description);
        return true;
    }

    QxbString path() override { return QxbString(path_); }

    // Called with configMutex held.
    const FileSignature& signature() const { return signature_; }
    void replace(ConfigContent content, const FileSignature& signature) {
        content_ = std::move(content);
        signature_ = signature;
        loaded_ = true;
    }
    bool loaded() const { return loaded_; }

private:
    std::string path_;
    ConfigContent content_;
    FileSignature signature_;
    bool loaded_ = false;
};

// One object per file path; objects live as long as the process, as callers
// keep them without releasing.
std::map<std::string, ConfigOptionsImpl*>& optionsByPath() {
    static auto* objects = new std::map<std::string, ConfigOptionsImpl*>();
    return *objects;
}

std::string& lastError() {
    static auto* text = new std::string();
    return *text;
}

bool readSignature(const std::string& path, FileSignature* signature, std::string* error) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;  // no file: empty options
        *error = "Cannot read configuration file '" + path + "': " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        *error = "Cannot read configuration file '" + path + "': " + std::strerror(EISDIR);
        return false;
    }
    signature->exists = true;
    signature->seconds = info.st_mtim.tv_sec;
    signature->nanoseconds = info.st_mtim.tv_nsec;
    signature->size = info.st_size;
    signature->inode = static_cast<long long>(info.st_ino);
    return true;
}

std::string scalarText(const toml::node& node) {
    if (const auto* text = node.as_string()) return text->get();
    std::ostringstream out;
    if (const auto* flag = node.as_boolean()) out << (flag->get() ? "true" : "false");
    else if (const auto* number = node.as_integer()) out << number->get();
    else node.visit([&out](const auto& value) { out << value; });
    return out.str();
}

std::string positionText(const std::string& path, const toml::source_region& where) {
    return "Configuration file '" + path + "', line " + std::to_string(where.begin.line) +
           ", column " + std::to_string(where.begin.column);
}

void flatten(const toml::table& table, const std::string& prefix, ConfigContent* content) {
    for (const auto& [key, node] : table) {
        const std::string name = prefix.empty() ? std::string(key.str())
                                                : prefix + "/" + std::string(key.str());
        if (const auto* inner = node.as_table()) flatten(*inner, name, content);
        else if (!node.is_array()) content->values[name] = scalarText(node);
    }
}

bool readDataSources(const toml::table& root, const std::string& path, ConfigContent* content,
                     std::string* error) {
    const toml::node* node = root.get("datasources");
    if (!node) return true;
    const toml::table* sources = node->as_table();
    if (!sources) {
        *error = positionText(path, node->source()) + ": 'datasources' must be a table";
        return false;
    }
    for (const auto& [key, entry] : *sources) {
        const toml::table* fields = entry.as_table();
        if (!fields) {
            *error = positionText(path, entry.source()) + ": data source '" +
                     std::string(key.str()) + "' must be a table";
            return false;
        }
        DataSourceEntry source;
        source.name = std::string(key.str());
        const auto field = [fields](const char* name) {
            const toml::node* value = fields->get(name);
            return value ? scalarText(*value) : std::string();
        };
        source.connection = field("connection");
        source.driver = field("driver");
        source.description = field("description");
        content->dataSources.push_back(std::move(source));
    }
    return true;
}

// The deepest nesting of tables and arrays a configuration may have. The
// TOML library nests recursively, so a header of thousands of dotted parts
// (or as many brackets) would overflow the stack: such a file is refused
// before it is parsed.
constexpr int kMaxNesting = 100;

// Follows keys, headers and values far enough to measure how deep they
// nest: each part of a dotted key or header and each open bracket or brace
// is one level. Strings and comments are skipped. False with the line where
// the nesting passed kMaxNesting.
class NestingCheck {
public:
    bool withinBounds(const std::string& text, long* badLine) {
        for (i_ = 0; i_ < text.size(); ++i_) {
            if (!step(text)) {
                *badLine = line_;
                return false;
            }
        }
        return true;
    }

private:
    bool step(const std::string& text) {
        const char c = text[i_];
        if (c == '\n') {
            ++line_;
            if (open_.empty()) startStatement();
            return true;
        }
        if (c == '#') {
            while (i_ + 1 < text.size() && text[i_ + 1] != '\n') ++i_;
            return true;
        }
        if (c == '"' || c == '\'') {
            skipString(text);
            sawKeyText_ = true;
            return true;
        }
        if (inKey_ || inHeader_) return keyCharacter(c);
        if (c == '[' || c == '{') {
            const int weight = 1 + keyDots_;
            open_.push_back({c, weight});
            depth_ += weight;
            keyDots_ = 0;
            if (c == '{') startKey();
            return depth_ <= kMaxNesting;
        }
        if ((c == ']' || c == '}') && !open_.empty()) {
            depth_ -= open_.back().second;
            open_.pop_back();
        } else if (c == ',' && !open_.empty() && open_.back().first == '{') {
            startKey();
        }
        return true;
    }

    bool keyCharacter(char c) {
        if (c == '.') return depth_ + ++keyDots_ + 1 <= kMaxNesting;
        if (c == '[' && !sawKeyText_ && open_.empty()) {
            inHeader_ = true;  // "[" or "[[" of a table header
        } else if (c == ']' && inHeader_) {
            inHeader_ = false;
            inKey_ = false;
        } else if (c == '=' && !inHeader_) {
            inKey_ = false;
        } else if (c != ' ' && c != '\t' && c != '\r' && c != '[') {
            sawKeyText_ = true;
        }
        return true;
    }

    void skipString(const std::string& text) {
        const char quote = text[i_];
        const bool triple = text.compare(i_, 3, std::string(3, quote)) == 0;
        i_ += triple ? 3 : 1;
        for (; i_ < text.size(); ++i_) {
            const char c = text[i_];
            if (c == '\n') ++line_;
            if (c == '\\' && quote == '"') {
                if (i_ + 1 < text.size() && text[i_ + 1] == '\n') ++line_;
                ++i_;
            } else if (c == quote && (!triple || text.compare(i_, 3, std::string(3, quote)) == 0)) {
                if (triple) i_ += 2;
                return;
            } else if (c == '\n' && !triple) {
                --i_;  // an unclosed string ends at its line; the parser reports it
                --line_;
                return;
            }
        }
    }

    void startStatement() {
        startKey();
        inHeader_ = false;
    }
    void startKey() {
        inKey_ = true;
        sawKeyText_ = false;
        keyDots_ = 0;
    }

    std::size_t i_ = 0;
    long line_ = 1;
    std::vector<std::pair<char, int>> open_;  // each open bracket with its levels
    int depth_ = 0;                           // the levels of every open bracket
    int keyDots_ = 0;
    bool inKey_ = true;
    bool inHeader_ = false;
    bool sawKeyText_ = false;
};

bool parseFile(const std::string& path, ConfigContent* content, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "Cannot read configuration file '" + path + "': " + std::strerror(errno);
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = "Cannot read configuration file '" + path + "': read error";
        return false;
    }
    long deepLine = 0;
    if (!NestingCheck().withinBounds(text, &deepLine)) {
        *error = "Configuration file '" + path + "', line " + std::to_string(deepLine) +
                 ": tables, keys or arrays nest deeper than " + std::to_string(kMaxNesting) + " levels";
        return false;
    }
    try {
        const toml::table root = toml::parse(text, path);
        flatten(root, "", content);
        return readDataSources(root, path, content, error);
    } catch (const toml::parse_error& failure) {
        *error = positionText(path, failure.source()) + ": " + std::string(failure.description());
    } catch (const std::exception& failure) {
        *error = "Cannot read configuration file '" + path + "': " + failure.what();
    }
    return false;
}

// Brings the object up to date with the file; false (with *error) when the
// file cannot be read or parsed.
bool refresh(ConfigOptionsImpl* options, const std::string& path, std::string* error) {
    FileSignature signature;
    if (!readSignature(path, &signature, error)) return false;
    if (options->loaded() && options->signature() == signature) return true;
    ConfigContent content;
    if (signature.exists && !parseFile(path, &content, error)) return false;
    options->replace(std::move(content), signature);
    return true;
}

}  // namespace

QxbConfigOptions* qxbGetConfigOptions(const QxbString& name) {
    try {
        std::lock_guard<std::mutex> lock(configMutex);
        if (!name.isNull() && name.length() > 0) {
            lastError() = std::string("Unknown configuration '") + name.asCstr() + "'";
            return nullptr;
        }
        const std::string path = qxbResolveHomePath("config.toml");
        ConfigOptionsImpl*& options = optionsByPath()[path];
        if (!options) options = new ConfigOptionsImpl(path);
        std::string error;
        if (!refresh(options, path, &error)) {
            lastError() = error;
            return nullptr;
        }
        lastError().clear();
        return options;
    } catch (const std::exception&) {  // allocation failure; the caller sees null
        return nullptr;
    }
}

QxbString qxbGetConfigError() {
    std::lock_guard<std::mutex> lock(configMutex);
    return QxbString(lastError());
}

QxbConfigOptions::~QxbConfigOptions() = default;
