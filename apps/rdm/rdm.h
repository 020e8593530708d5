// Shared pieces of the rdm command line: the exit statuses, error output,
// and an open library session on a repository.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "qxbcpp.h"

class RefData;
class RefDataAdmin;
class RefDataAdminEx;
class RefDataViewer;
class RefDataViewerEx;
struct RefDataHandle;
namespace CLI {
class App;
class Validator;
}

namespace rdm {

enum ExitStatus { kOk = 0, kFailed = 1, kUsage = 2 };

// TEXT with the password of every connection string in it masked
// ("user:****@", "password=****").
std::string masked(const std::string& text);

// Prints "rdm: TEXT" (masked) on standard error and answers kFailed.
int fail(const std::string& text);
int fail(const QxbString& text);

// Flushes the stream; false (the reason printed) when it or an earlier write
// to it failed.
bool finishOutput(std::FILE* out);
// True once a write to the stream failed; the print loops stop there.
bool outputFailed(std::FILE* out);

// "#ID" ("#" and digits) names a domain by its id: true with the id.
bool isIdReference(const std::string& text, int* id);

// Why NAME cannot name a new domain, or "" when it can. Domains are named on
// the command line by name or by "#ID", so a name is not empty, not "#"
// followed by digits, and holds no control character.
std::string domainNameProblem(const std::string& name);

// "2 domains are named 'X' (#3, #7): name one by its '#ID'".
std::string ambiguousDomainName(const std::string& name, const std::vector<int>& ids);

// The ids of every domain named exactly NAME, through the viewer; false
// (nothing printed) when the listing failed.
bool domainIdsNamed(RefDataViewer* viewer, RefDataHandle* handle, const std::string& name, std::vector<int>* ids);

class RepositorySession;

// The domain named on the command line by its name or by "#ID", through the
// viewer: its id and name. A name two domains share is refused (rdm does not
// guess which one is meant). False with the reason in *error.
bool findDomain(RepositorySession& repo, const std::string& reference, int* id, std::string* name,
                std::string* error);

// A moment named on the command line, in UTC: "YYYY-MM-DD" (the end of that
// day, up to 23:59:59.999), or a date and a time "YYYY-MM-DD HH:MM[:SS[.fff]]"
// or "YYYY-MM-DDTHH:MM[:SS[.fff]]", either with an optional trailing "Z".
// False when TEXT is none of these.
bool parseMoment(const std::string& text, QxbDate* moment);

// The CLI check of an option holding a moment (see parseMoment).
CLI::Validator momentCheck();

// The number of the version of the domain that was its newest at the moment
// named by TEXT (see parseMoment): the one with the latest creation time at
// or before it, creation times taken to the second as `rdm versions` shows
// them (on a tie, the greater number). False with the reason in *error, as
// when the moment comes before the domain's first version.
bool versionAt(RepositorySession& repo, int domainId, const std::string& domainName, const std::string& text,
               int* version, std::string* error);

// The number of the domain's newest version (0: it has none). False with
// the reason in *error.
bool newestVersion(RepositorySession& repo, int domainId, int* version, std::string* error);

// From now on, a write that has to wait for another writer (the store waits
// minutes, see RDM_WRITE_WAIT) says so on standard error, once:
// "waiting for another writer to finish…".
void announceWriterWaits();

// Whether the account exists, through the viewer; false with the reason
// ("no account has the id N", or the failed listing's) in *error.
bool accountExists(RepositorySession& repo, int account, std::string* error);

// A session of the reference-data library with one handle open on a named
// repository. The session (and with it the handle) is released on every path.
class RepositorySession {
public:
    RepositorySession() = default;
    RepositorySession(const RepositorySession&) = delete;
    RepositorySession& operator=(const RepositorySession&) = delete;
    ~RepositorySession();

    // False with the library's reason in *error. needData: the repository's
    // reference data must be reachable (else only its settings are).
    bool open(const std::string& repository, QxbString* error, bool needData = true);
    RefData* session() const { return session_; }
    RefDataHandle* handle() const { return handle_; }
    RefDataViewer* viewer();
    RefDataAdmin* admin();
    RefDataViewerEx* viewerEx();
    RefDataAdminEx* adminEx();
    // The handle's last error text.
    QxbString errorText();

private:
    RefData* session_ = nullptr;
    RefDataHandle* handle_ = nullptr;
};

// Opens the repository and answers its query object (with the extension's
// operations); null after printing why it could not.
RefDataViewerEx* openViewerEx(RepositorySession& repo, const std::string& repository);

// The command chosen on the command line, run after parsing (so that global
// options such as --home are in force); it answers the exit status.
using Action = std::function<int()>;

// Command groups; each adds its sub-commands to the application. A parsed
// sub-command stores what it will do in *action.
void addRepoCommands(CLI::App& app, Action* action);
void addQueryCommands(CLI::App& app, Action* action);
void addImportCommand(CLI::App& app, Action* action);
void addExportCommand(CLI::App& app, Action* action);
void addStepCommands(CLI::App& app, Action* action);
void addAdminCommands(CLI::App& app, Action* action);
void addEditCommands(CLI::App& app, Action* action);
void addDiffCommand(CLI::App& app, Action* action);

}  // namespace rdm
