// Shared pieces of the rdm command line.
#include "rdm.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "RefData.h"
#include "RefDataHandle.h"
#include "RefDataCursor.h"
#include "RefDataViewer.h"
#include "output.h"
#include "qxdac.h"
#include "repadm/sql_driver.h"

namespace rdm {

std::string masked(const std::string& text) {
    return dacMaskConnection(text);
}

int fail(const std::string& text) {
    // A reason may quote a connection string; its password never shows.
    // Shown escaped: one line, and nothing from the data drives the terminal.
    const std::string reason =
        text.empty() ? "the operation failed (no reason given)" : displayText(masked(text));
    std::fprintf(stderr, "rdm: %s\n", reason.c_str());
    return kFailed;
}

int fail(const QxbString& text) { return fail(text.str()); }

namespace {

int firstWriteError = 0;  // errno of the first failed write to standard output

void announceWait() {
    static bool told = false;
    if (told) return;
    told = true;
    std::fputs("waiting for another writer to finish\xe2\x80\xa6\n", stderr);
}

}  // namespace

void announceWriterWaits() { repadm::setWriterWaitNotice(&announceWait); }

bool outputFailed(std::FILE* out) {
    if (!std::ferror(out)) return false;
    if (firstWriteError == 0) firstWriteError = errno != 0 ? errno : EIO;
    return true;
}

bool finishOutput(std::FILE* out) {
    errno = 0;
    const bool flushed = std::fflush(out) == 0;
    if (flushed && !outputFailed(out)) return true;
    const int reason = firstWriteError != 0 ? firstWriteError : (errno != 0 ? errno : EIO);
    fail(std::string("the output could not be written: ") + std::strerror(reason));
    return false;
}

bool isIdReference(const std::string& text, int* id) {
    if (text.size() < 2 || text.size() > 11 || text[0] != '#' ||
        text.find_first_not_of("0123456789", 1) != std::string::npos)
        return false;
    const long long value = std::stoll(text.substr(1));
    if (value > 2147483647LL) return false;
    *id = static_cast<int>(value);
    return true;
}

std::string domainNameProblem(const std::string& name) {
    if (name.empty()) return "a domain name cannot be empty";
    if (name[0] == '#' && name.find_first_not_of("0123456789", 1) == std::string::npos)
        return "the domain name '" + name + "' would read as a domain id ('#' and digits)";
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "a domain name cannot hold control characters";
    return std::string();
}

std::string ambiguousDomainName(const std::string& name, const std::vector<int>& ids) {
    std::string list;
    for (const int id : ids) list += (list.empty() ? "#" : ", #") + std::to_string(id);
    return std::to_string(ids.size()) + " domains are named '" + name + "' (" + list + "): name one by its '#ID'";
}

bool domainIdsNamed(RefDataViewer* viewer, RefDataHandle* handle, const std::string& name, std::vector<int>* ids) {
    RefDataCursor* domains = viewer->getDomainWithDetails(handle, -1, true);
    if (domains == nullptr) return false;
    ids->clear();
    int answer = 0;
    while ((answer = domains->next()) == 0) {
        const int id = domains->getInt(0);
        if (domains->getString(1).str() == name && std::find(ids->begin(), ids->end(), id) == ids->end())
            ids->push_back(id);
    }
    domains->release();
    return answer == 1;  // anything else is a failed listing, not its end
}

bool findDomain(RepositorySession& repo, const std::string& reference, int* id, std::string* name,
                std::string* error) {
    RefDataViewer* viewer = repo.viewer();
    if (viewer == nullptr) {
        *error = repo.errorText().str();
        return false;
    }
    const bool byId = isIdReference(reference, id);
    RefDataCursor* details = byId ? viewer->getDomainWithDetails(repo.handle(), *id, true)
                                  : viewer->getDomainWithDetails(repo.handle(), QxbString(reference), true);
    if (details == nullptr) {
        *error = repo.errorText().str();
        return false;
    }
    const int answer = details->next();
    if (answer == 0) {
        *id = details->getInt(0);
        *name = details->getString(1).str();
    }
    details->release();
    if (answer != 0) {
        // By name the library names the domain it did not find; by id it
        // answers no row.
        *error = byId && answer == 1 ? "no domain has the id " + reference.substr(1) : repo.errorText().str();
        if (error->empty()) *error = "no domain is named '" + reference + "'";
        return false;
    }
    if (byId) return true;
    std::vector<int> ids;
    if (!domainIdsNamed(viewer, repo.handle(), reference, &ids)) {
        *error = repo.errorText().str();
        return false;
    }
    if (ids.size() > 1) {
        *error = ambiguousDomainName(reference, ids);
        return false;
    }
    return true;
}

bool parseMoment(const std::string& text, QxbDate* moment) {
    const std::size_t kDateLength = 10;  // "YYYY-MM-DD"
    std::string given = text;
    // A "Z" (UTC, as every moment here) may end a date and time in either form.
    if (given.size() > kDateLength + 1 && given.back() == 'Z' && given[given.size() - 2] >= '0' &&
        given[given.size() - 2] <= '9')
        given.pop_back();
    QxbDate parsed;
    if (!QxbDate::fromString(given.c_str(), &parsed)) return false;
    // A date alone means the whole day: up to its last millisecond.
    *moment = given.size() == kDateLength ? QxbDate(parsed.value() + 1.0 - 0.001 / 86400.0) : parsed;
    return true;
}

CLI::Validator momentCheck() {
    return CLI::Validator(
        [](std::string& text) {
            QxbDate moment;
            return parseMoment(text, &moment)
                       ? std::string()
                       : "'" + text + "' is not a date (YYYY-MM-DD) or date and time (YYYY-MM-DDTHH:MM[:SS], UTC)";
        },
        "DATE");
}

namespace {

// The column of the cursor named NAME, or -1.
int columnNamed(RefDataCursor* cursor, const char* name) {
    for (int c = 0; c < cursor->getColumnCount(); ++c)
        if (cursor->getColumnName(c).str() == name) return c;
    return -1;
}

}  // namespace

bool newestVersion(RepositorySession& repo, int domainId, int* version, std::string* error) {
    RefDataViewer* viewer = repo.viewer();
    RefDataCursor* versions = viewer == nullptr ? nullptr : viewer->getDomainVersions(repo.handle(), domainId, -1);
    if (versions == nullptr) {
        *error = repo.errorText().str();
        return false;
    }
    *version = 0;
    int answer = 0;
    while ((answer = versions->next()) == 0) *version = std::max(*version, versions->getInt(2));
    versions->release();
    if (answer != 1) *error = repo.errorText().str();
    return answer == 1;
}

bool versionAt(RepositorySession& repo, int domainId, const std::string& domainName, const std::string& text,
               int* version, std::string* error) {
    QxbDate moment;
    if (!parseMoment(text, &moment)) {
        *error = "'" + text + "' is not a date";
        return false;
    }
    RefDataViewer* viewer = repo.viewer();
    RefDataCursor* versions = viewer == nullptr ? nullptr : viewer->getDomainVersions(repo.handle(), domainId, -1);
    if (versions == nullptr) {
        *error = repo.errorText().str();
        return false;
    }
    const int numberColumn = columnNamed(versions, "VERSION_NUMBER");
    const int createdColumn = columnNamed(versions, "CREATED");
    int answer = numberColumn < 0 || createdColumn < 0 ? -1 : 1;
    double chosenAt = 0.0, firstAt = 0.0;
    int chosen = 0;
    std::string first;
    while (answer != -1 && (answer = versions->next()) == 0) {
        // To the second, as the listing of the versions shows the time.
        const std::string shown = versions->getString(createdColumn).str();
        QxbDate created;
        if (!QxbDate::fromString(shown.c_str(), &created)) {
            answer = -1;
            break;
        }
        const int number = versions->getInt(numberColumn);
        if (first.empty() || created.value() < firstAt) {
            first = shown;
            firstAt = created.value();
        }
        if (created.value() <= moment.value() &&
            (chosen == 0 || created.value() > chosenAt || (created.value() == chosenAt && number > chosen))) {
            chosen = number;
            chosenAt = created.value();
        }
    }
    versions->release();
    if (answer != 1) {
        *error = repo.errorText().str();
        if (error->empty()) *error = "the versions of domain '" + domainName + "' have no readable creation time";
        return false;
    }
    if (first.empty()) {
        *error = "domain '" + domainName + "' has no version";
        return false;
    }
    if (chosen == 0) {
        *error = "domain '" + domainName + "' has no version at " + text + "; its first version is from " + first;
        return false;
    }
    *version = chosen;
    return true;
}

bool accountExists(RepositorySession& repo, int account, std::string* error) {
    RefDataViewer* viewer = repo.viewer();
    RefDataCursor* accounts =
        viewer == nullptr ? nullptr : viewer->getAccounts(repo.handle(), account, QxbString(), QxbString(), QxbString());
    if (accounts == nullptr) {
        *error = repo.errorText().str();
        return false;
    }
    const int answer = accounts->next();
    accounts->release();
    if (answer == 0) return true;
    *error = answer == 1 ? "no account has the id " + std::to_string(account) : repo.errorText().str();
    return false;
}

RepositorySession::~RepositorySession() {
    if (session_ != nullptr) session_->release(&handle_);
}

bool RepositorySession::open(const std::string& repository, QxbString* error, bool needData) {
    session_ = createReferenceDataSession(0, error);
    if (session_ == nullptr) return false;
    if (!session_->open(&handle_, QxbString(repository), error)) return false;
    if (!needData || (handle_->queryStore != nullptr && handle_->adminStore != nullptr)) return true;
    // The library opens a repository whose data repository could not be
    // attached and keeps the reason as the handle's error text, which the
    // first query would replace with "no connection".
    const QxbString reason = session_->getErrorText(handle_);
    *error = reason.length() > 0
                 ? reason
                 : QxbString("the repository '" + repository + "' has no data source (its REFDATA_DSN is empty)");
    return false;
}

RefDataViewer* RepositorySession::viewer() { return session_->getViewer(handle_); }
RefDataAdmin* RepositorySession::admin() { return session_->getAdmin(handle_); }
RefDataViewerEx* RepositorySession::viewerEx() { return session_->getViewerEx(handle_); }

RefDataViewerEx* openViewerEx(RepositorySession& repo, const std::string& repository) {
    QxbString error;
    if (!repo.open(repository, &error)) {
        fail(error);
        return nullptr;
    }
    RefDataViewerEx* viewer = repo.viewerEx();
    if (viewer == nullptr) fail(repo.errorText());
    return viewer;
}
RefDataAdminEx* RepositorySession::adminEx() { return session_->getAdminEx(handle_); }
QxbString RepositorySession::errorText() { return session_->getErrorText(handle_); }

}  // namespace rdm
