// rdm: the command line of the reference-data system.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "qxbcpp.h"
#include "rdm.h"

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
