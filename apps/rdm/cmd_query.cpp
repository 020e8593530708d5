// rdm domains|versions|items|has-item|sources|fields: reading reference data
// through the library's query interface.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataViewer.h"
#include "RefDataViewerEx.h"
#include "output.h"
#include "qxbcpp.h"
#include "qxdac.h"
#include "qxsstr.h"
#include "rdm.h"

namespace rdm {
namespace {

constexpr int kMaxFields = 1024;

// Exit statuses of has-item.
enum HasItemStatus { kItemFound = 0, kItemMissing = 1, kItemError = 2 };

struct CursorReleaser {
    void operator()(RefDataCursor* cursor) const {
        if (cursor != nullptr) cursor->release();
    }
};
using OwnedCursor = std::unique_ptr<RefDataCursor, CursorReleaser>;

struct QueryOptions {
    std::string repository;
    std::string domain;
    std::string key;
    std::string format;
    std::string at;  // a moment (rdm items --at), else empty
    int version = 0;
    bool allVersions = false;
    bool hasDomain = false;
};

// Opens the repository and its viewer; on failure prints the reason.
bool openViewer(RepositorySession& repo, const std::string& name, RefDataViewer** viewer) {
    *viewer = openViewerEx(repo, name);
    return *viewer != nullptr;
}

// Prints a query's cursor, or the handle's error text when there is none.
int printOrFail(RepositorySession& repo, RefDataCursor* answered, const std::string& formatText) {
    OwnedCursor cursor(answered);
    if (!cursor) return fail(repo.errorText());
    Format format;
    if (!parseFormat(formatText, &format)) return fail("unknown format '" + formatText + "'");
    if (printCursor(cursor.get(), format) < 0) return fail(repo.errorText());
    return kOk;
}

int listDomains(const QueryOptions& o) {
    RepositorySession repo;
    RefDataViewer* viewer = nullptr;
    if (!openViewer(repo, o.repository, &viewer)) return kFailed;
    const bool current = !o.allVersions;
    RefDataCursor* cursor = o.domain.empty() ? viewer->getDomainWithDetails(repo.handle(), -1, current)
                                             : viewer->getDomainWithDetails(repo.handle(), QxbString(o.domain), current);
    return printOrFail(repo, cursor, o.format);
}

// The id of a domain named on the command line (by name or "#ID"); prints
// the reason when there is none or several.
bool domainId(RepositorySession& repo, const std::string& name, int* id) {
    std::string found, error;
    if (findDomain(repo, name, id, &found, &error)) return true;
    fail(error);
    return false;
}

int listVersions(const QueryOptions& o) {
    RepositorySession repo;
    RefDataViewer* viewer = nullptr;
    int id = -1;
    if (!openViewer(repo, o.repository, &viewer) || !domainId(repo, o.domain, &id)) return kFailed;
    return printOrFail(repo, viewer->getDomainVersions(repo.handle(), id, -1), o.format);
}

// The rows stream from the store to the output (the table format alone
// gathers them first, for its column widths).
int listItems(const QueryOptions& o) {
    RepositorySession repo;
    RefDataViewerEx* viewer = openViewerEx(repo, o.repository);
    if (viewer == nullptr) return kFailed;
    if (o.at.empty()) {
        const QxbString name = o.hasDomain ? QxbString(o.domain) : QxbString();
        return printOrFail(repo, viewer->streamDomainItems(repo.handle(), name, o.version), o.format);
    }
    int id = -1, version = 0;
    std::string name, error;
    if (!findDomain(repo, o.domain, &id, &name, &error) || !versionAt(repo, id, name, o.at, &version, &error))
        return fail(error);
    return printOrFail(repo, viewer->streamDomainItems(repo.handle(), QxbString(name), version), o.format);
}

// Distinguishes "no such key" from a failed query, which containsItemKey
// answers alike; the library looks the key up by its index.
int hasItem(const QueryOptions& o) {
    RepositorySession repo;
    RefDataViewerEx* viewer = openViewerEx(repo, o.repository);
    if (viewer == nullptr) return kItemError;
    const int found = viewer->findItemKey(repo.handle(), QxbString(o.domain), o.version, QxbString(o.key));
    if (found < 0) {
        fail(repo.errorText());
        return kItemError;
    }
    return found == 1 ? kItemFound : kItemMissing;
}

int listSources(const std::string& formatText, const std::string& repository) {
    if (!repository.empty()) {
        // As a program using the library sees them.
        RepositorySession repo;
        RefDataViewer* viewer = nullptr;
        if (!openViewer(repo, repository, &viewer)) return kFailed;
        return printOrFail(repo, viewer->getDataSources(repo.handle()), formatText);
    }
    Format format;
    if (!parseFormat(formatText, &format)) return fail("unknown format '" + formatText + "'");
    DataAccessSource* source = dacCreateDataSource(0);
    if (source == nullptr) return fail(std::string("out of memory"));
    DataAccessReader* reader = source->listSources(DAC_LIST_DATA_SOURCES, 0);
    if (reader == nullptr) {
        QxbString error;
        source->getLastError(&error);
        source->release();
        return fail(error);
    }
    Rows rows;
    for (int c = 0; c < reader->getColumnCount(); ++c) {
        QxbString name;
        reader->getColumnName(&name, c);
        rows.columns.push_back(name.str());
    }
    while (reader->fetch() == 0) {
        std::vector<std::string> row;
        for (int c = 0; c < reader->getColumnCount(); ++c) {
            QxbDatavar value;
            reader->getValue(&value, c);
            row.push_back(value.asString().str());
        }
        rows.values.push_back(std::move(row));
    }
    reader->release();
    source->release();
    printRows(rows, format);
    return kOk;
}

struct FieldsOptions {
    std::string repository;
    std::string file;
    std::string separator = ",";
    std::string qualifier = "\"";
    std::string format;
};

int listFields(const FieldsOptions& o) {
    Format format;
    if (!parseFormat(o.format, &format)) return fail("unknown format '" + o.format + "'");
    if (o.separator.size() != 1 || o.qualifier.size() > 1)
        return fail(std::string("the separator is one character, the qualifier one character or none"));
    const char qualifier = o.qualifier.empty() ? 0 : o.qualifier[0];
    if (!o.repository.empty()) {
        RepositorySession repo;
        RefDataViewer* viewer = nullptr;
        if (!openViewer(repo, o.repository, &viewer)) return kFailed;
        RefDataCursor* cursor = viewer->getDelimitedFileFields(repo.handle(), QxbString(o.file), o.separator[0], qualifier);
        // The query answers no cursor for an empty file and leaves the error text alone.
        if (cursor == nullptr && repo.errorText().length() == 0) return fail("the file " + o.file + " is empty");
        return printOrFail(repo, cursor, o.format);
    }
    QxbString error;
    QxbTxtFile* file = qxbTxtFileOpen(o.file.c_str(), QXB_TXT_READ, -1, 0, &error);
    if (file == nullptr) return fail(error);
    char* line = nullptr;
    const int read = file->readLine(-1, &line, 0);
    const int readError = errno;
    if (read < 1 || line == nullptr) {
        file->close();
        if (read == 0) return fail("the file " + o.file + " is empty");
        if (readError == EOVERFLOW) return fail("the first line of " + o.file + " is longer than 1 MiB");
        return fail("the file " + o.file + " could not be read: " + std::strerror(readError));
    }
    std::string text(line);
    file->close();
    std::vector<char> buffer(text.size() + 1);
    std::vector<char*> fields(kMaxFields);
    const int count = qxs_parse_text_ex(text.c_str(), fields.data(), kMaxFields, buffer.data(),
                                        static_cast<int>(buffer.size()), o.separator[0], qualifier);
    Rows rows;
    rows.columns = {"NAME", "POSITION"};
    for (int i = 0; i < count; ++i) rows.values.push_back({fields[static_cast<std::size_t>(i)], std::to_string(i)});
    printRows(rows, format);
    return kOk;
}

void addFormatOption(CLI::App* command, std::string* format) {
    command->add_option("--format", *format, "Output: table, csv or json (default: table on a terminal, else csv)")
        ->check(CLI::IsMember({"table", "csv", "json"}));
}

}  // namespace

void addQueryCommands(CLI::App& app, Action* action) {
    auto o = std::make_shared<QueryOptions>();

    CLI::App* domains = app.add_subcommand("domains", "List the domains of a repository with their newest version");
    domains->add_option("repository", o->repository, "Repository name")->required();
    domains->add_option("--name", o->domain, "Only the domain of this name");
    domains->add_flag("--all-versions", o->allVersions, "One row per version instead of the newest only");
    addFormatOption(domains, &o->format);
    domains->callback([action, o]() { *action = [o]() { return listDomains(*o); }; });

    CLI::App* versions = app.add_subcommand("versions", "List the versions of a domain");
    versions->add_option("repository", o->repository, "Repository name")->required();
    versions->add_option("domain", o->domain, "Domain name")->required();
    addFormatOption(versions, &o->format);
    versions->callback([action, o]() { *action = [o]() { return listVersions(*o); }; });

    CLI::App* items = app.add_subcommand("items", "List the items of a domain (or of every domain) at a version");
    items->add_option("repository", o->repository, "Repository name")->required();
    items->add_option("domain", o->domain, "Domain name (default: every domain)");
    CLI::Option* itemsVersion =
        items->add_option("--version", o->version, "0 the newest (default), -1 none, N exactly version N");
    items->add_option("--at", o->at, "The version that was the newest at this moment (UTC; a date alone: its end)")
        ->check(momentCheck())
        ->excludes(itemsVersion);
    addFormatOption(items, &o->format);
    items->callback([action, o, items]() {
        o->hasDomain = items->count("domain") > 0;
        if (!o->at.empty() && !o->hasDomain) throw CLI::RequiresError("--at", "DOMAIN");
        *action = [o]() { return listItems(*o); };
    });

    CLI::App* has = app.add_subcommand("has-item", "Exit 0 when the domain has an item with the key, 1 when not, 2 on error");
    has->add_option("repository", o->repository, "Repository name")->required();
    has->add_option("domain", o->domain, "Domain name")->required();
    has->add_option("key", o->key, "Item key")->required();
    has->add_option("--version", o->version, "0 the newest (default), -1 none, N exactly version N");
    has->callback([action, o]() { *action = [o]() { return hasItem(*o); }; });

    auto sourcesFormat = std::make_shared<std::string>();
    auto sourcesRepository = std::make_shared<std::string>();
    CLI::App* sources = app.add_subcommand("sources", "List the data sources of the configuration (passwords masked)");
    sources->add_option("--repository", *sourcesRepository, "Ask through a session on this repository");
    addFormatOption(sources, sourcesFormat.get());
    sources->callback([action, sourcesFormat, sourcesRepository]() {
        *action = [sourcesFormat, sourcesRepository]() { return listSources(*sourcesFormat, *sourcesRepository); };
    });

    auto f = std::make_shared<FieldsOptions>();
    CLI::App* fieldsCmd = app.add_subcommand("fields", "List the fields named by the first line of a delimited file");
    fieldsCmd->add_option("file", f->file, "The file")->required();
    fieldsCmd->add_option("--repository", f->repository, "Ask through a session on this repository");
    fieldsCmd->add_option("--separator", f->separator, "Field separator (default ',')");
    fieldsCmd->add_option("--qualifier", f->qualifier, "Text qualifier (default '\"'; empty for none)");
    addFormatOption(fieldsCmd, &f->format);
    fieldsCmd->callback([action, f]() { *action = [f]() { return listFields(*f); }; });
}

}  // namespace rdm
