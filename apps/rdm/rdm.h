// Shared pieces of the rdm command line: the exit statuses, error output,
// and an open library session on a repository.
#pragma once

#include <functional>
#include <string>

#include "qxbcpp.h"

class RefData;
class RefDataAdmin;
class RefDataViewer;
struct RefDataHandle;
namespace CLI {
class App;
}

namespace rdm {

enum ExitStatus { kOk = 0, kFailed = 1, kUsage = 2 };

// Prints "rdm: TEXT" on standard error and answers kFailed.
int fail(const std::string& text);
int fail(const QxbString& text);

// A session of the reference-data library with one handle open on a named
// repository. The session (and with it the handle) is released on every path.
class RepositorySession {
public:
    RepositorySession() = default;
    RepositorySession(const RepositorySession&) = delete;
    RepositorySession& operator=(const RepositorySession&) = delete;
    ~RepositorySession();

    // False with the library's reason in *error.
    bool open(const std::string& repository, QxbString* error);
    RefData* session() const { return session_; }
    RefDataHandle* handle() const { return handle_; }
    RefDataViewer* viewer();
    RefDataAdmin* admin();
    // The handle's last error text.
    QxbString errorText();

private:
    RefData* session_ = nullptr;
    RefDataHandle* handle_ = nullptr;
};

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

}  // namespace rdm
