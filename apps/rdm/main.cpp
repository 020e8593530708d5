// rdm: the command line of the reference-data system.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qxbcpp.h"
#include "rdm.h"

namespace {

// The commands that hold a whole domain in memory while they work (an
// import of 350,000 items: about 750 MB in small pieces). glibc's malloc
// backs its heap with huge pages only when asked before the process starts,
// so such a command starts itself once more with the tunable set: a tenth
// of the time goes otherwise to page faults and TLB misses. Nothing has run
// yet, and if the restart fails the command simply goes on.
void preferHugePages(const CLI::App& app, char** argv) {
    static const char kTunable[] = "glibc.malloc.hugetlb";
    bool large = false;
    for (const CLI::App* command : app.get_subcommands())
        large = large || command->get_name() == "import" || command->get_name() == "edit";
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    if (!large || (tunables != nullptr && std::strstr(tunables, kTunable) != nullptr)) return;
    std::string value = tunables != nullptr && *tunables != '\0' ? std::string(tunables) + ":" : std::string();
    value += std::string(kTunable) + "=1";
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
    execv("/proc/self/exe", argv);  // returns only when the restart failed
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"rdm: keep reference data (code lists, their versions, items and texts) and feed it to data flows"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("rdm ") + RDM_VERSION);
    // Every command with its options at once: what the man page and the
    // shell completion are generated from.
    app.set_help_all_flag("--help-all", "Print the help of every command and exit");
    app.fallthrough();  // global options may also follow the sub-command
    std::string home;
    CLI::Option* homeOption =
        app.add_option("--home", home,
                       "Home folder (configuration, repositories, data, logs); default: $RDM_HOME, "
                       "else $XDG_DATA_HOME/rdm, else ~/.local/share/rdm");

    rdm::Action action;
    rdm::addRepoCommands(app, &action);
    rdm::addQueryCommands(app, &action);
    rdm::addImportCommand(app, &action);
    rdm::addExportCommand(app, &action);
    rdm::addStepCommands(app, &action);
    rdm::addAdminCommands(app, &action);
    rdm::addEditCommands(app, &action);
    rdm::addDiffCommand(app, &action);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // One line, like every other error of rdm.
        std::fprintf(stderr, "rdm: %s (see rdm --help)\n", e.what());
        return rdm::kUsage;
    }
    preferHugePages(app, argv);
    if (homeOption->count() > 0 && home.empty()) {
        // An empty folder would silently mean the default home.
        std::fprintf(stderr, "rdm: --home needs a folder, not an empty text (see rdm --help)\n");
        return rdm::kUsage;
    }
    if (!home.empty()) qxbSetHomeFolder(home.c_str());
    const int status = action ? action() : rdm::kUsage;
    // Output that did not reach its file (a full disk, a closed descriptor)
    // is a failure, whatever the command answered.
    if (!rdm::finishOutput(stdout)) return rdm::kFailed;
    return status;
}
