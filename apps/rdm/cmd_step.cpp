// rdm step|discover|plugins: running the data-flow plug-in's steps through
// the engine host, as a data flow would.
#include <CLI/CLI.hpp>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine.h"
#include "output.h"
#include "qxbcpp.h"
#include "rdm.h"

namespace rdm {
namespace {

constexpr const char* kPluginFile = "librdplugin.so";
constexpr const char* kFieldMap = "FIELD_MAP";

struct StepOptions {
    std::string stepName;
    std::string repository;
    std::vector<std::string> params;
    std::vector<std::string> fieldMap;
    std::string input;
    std::string separator = ",";
    std::string qualifier = "\"";
    std::string plugin;
    std::string format;
};

struct PluginReleaser {
    void operator()(EnginePlugin* plugin) const {
        if (plugin != nullptr) plugin->release();
    }
};
using OwnedPlugin = std::unique_ptr<EnginePlugin, PluginReleaser>;

// The plug-in next to the rdm binary.
// Next to rdm (a build tree), else in the library folder of the installed
// tree rdm belongs to.
std::string defaultPluginPath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return kPluginFile;
    const std::string exe(path, static_cast<std::size_t>(length));
    const auto slash = exe.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
    const std::string beside = folder + "/" + kPluginFile;
#ifdef RDM_INSTALLED_PLUGIN_DIR
    if (access(beside.c_str(), F_OK) != 0) return folder + "/" + RDM_INSTALLED_PLUGIN_DIR + "/" + kPluginFile;
#endif
    return beside;
}

OwnedPlugin loadPlugin(const std::string& given) {
    QxbString error;
    OwnedPlugin plugin(engineLoadPlugin(given.empty() ? defaultPluginPath() : given, &error));
    if (!plugin) fail(error);
    return plugin;
}

// Parameters NAME=VALUE and field-map entries into the request; false (printed) on a malformed one.
bool buildRequest(const StepOptions& o, EngineStepRequest* request) {
    request->stepName = o.stepName;
    request->variables.push_back({"_CURRENT_REPOSITORY", o.repository});
    for (const std::string& param : o.params) {
        const auto equals = param.find('=');
        if (equals == std::string::npos || equals == 0) {
            fail("a parameter is given as NAME=VALUE, not '" + param + "'");
            return false;
        }
        request->params.push_back({param.substr(0, equals), param.substr(equals + 1)});
    }
    for (const std::string& entry : o.fieldMap) request->params.push_back({kFieldMap, entry});
    return true;
}

bool readInput(const StepOptions& o, EngineTable* input) {
    if (o.separator.size() != 1 || o.qualifier.size() > 1) {
        fail(std::string("the separator is one character, the qualifier one character or none"));
        return false;
    }
    QxbString error;
    if (engineReadDelimitedFile(o.input, o.separator[0], o.qualifier.empty() ? 0 : o.qualifier[0], input, &error))
        return true;
    fail(error);
    return false;
}

void printTable(const EngineTable& table, Format format) {
    Rows rows;
    rows.columns = table.fields;
    for (const auto& values : table.rows) {
        std::vector<std::string> row;
        for (const QxbDatavar& value : values) row.push_back(value.asString().str());
        rows.values.push_back(std::move(row));
    }
    printRows(rows, format);
}

int failWith(const std::vector<std::string>& errors) {
    for (const std::string& error : errors) fail(error);
    return errors.empty() ? fail(std::string("the step failed")) : kFailed;
}

int runStep(const StepOptions& o) {
    Format format;
    if (!parseFormat(o.format, &format)) return fail("unknown format '" + o.format + "'");
    EngineStepRequest request;
    EngineTable input;
    if (!buildRequest(o, &request)) return kFailed;
    if (!o.input.empty()) {
        if (!readInput(o, &input)) return kFailed;
        request.input = &input;
    }
    OwnedPlugin plugin = loadPlugin(o.plugin);
    if (!plugin) return kFailed;
    // CSV and JSON rows go out as the step produces them; a table is
    // gathered for its column widths.
    std::unique_ptr<RowWriter> writer;
    if (format != Format::Table) {
        request.onRow = [&writer, format, texts = std::vector<std::string>(), row = std::vector<std::string_view>()](
                            const EngineTable& described, const std::vector<QxbDatavar>& values) mutable {
            if (!writer) writer.reset(new RowWriter(described.fields, format));
            // Texts are written from where the row holds them; other values
            // are shown in one buffer per field that reuses its room.
            row.resize(values.size());
            texts.resize(values.size());
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (const QxbString* text = values[i].text()) {
                    row[i] = std::string_view(text->asCstr(), text->length());
                } else {
                    const QxbString shown = values[i].asString();
                    texts[i].assign(shown.asCstr(), shown.length());
                    row[i] = texts[i];
                }
            }
            writer->write(row.data(), row.size());
            return !writer->failed();  // a full disk takes no more rows
        };
    }
    EngineStepResult result;
    const bool ok = plugin->runStep(request, &result);
    if (writer) writer->finish();
    if (!ok) return failWith(result.errors);  // the errors alone: the status would only say "0 row(s)"
    if (!writer) printTable(result.output, format);
    if (!result.status.empty()) std::fprintf(stderr, "%s\n", result.status.c_str());
    return kOk;
}

int discover(const StepOptions& o) {
    Format format;
    if (!parseFormat(o.format, &format)) return fail("unknown format '" + o.format + "'");
    EngineStepRequest request;
    if (!buildRequest(o, &request)) return kFailed;
    OwnedPlugin plugin = loadPlugin(o.plugin);
    if (!plugin) return kFailed;
    EngineTable table;
    std::vector<std::string> errors;
    if (!plugin->discover(request, &table, &errors)) return failWith(errors);
    printTable(table, format);
    return kOk;
}

int listPlugins(const StepOptions& o) {
    Format format;
    if (!parseFormat(o.format, &format)) return fail("unknown format '" + o.format + "'");
    OwnedPlugin plugin = loadPlugin(o.plugin);
    if (!plugin) return kFailed;
    Rows rows;
    rows.columns = {"NAME", "DISPLAY_NAME", "CATEGORY"};
    EngineStepType type;
    for (int i = 0; plugin->getStepType(i, &type); ++i)
        rows.values.push_back({type.name.str(), type.displayName.str(), type.category.str()});
    printRows(rows, format);
    return kOk;
}

void addCommonOptions(CLI::App* command, StepOptions* o) {
    command->add_option("--plugin", o->plugin, "The plug-in library (default: librdplugin.so next to rdm, else in the installed library folder)");
    command->add_option("--format", o->format, "Output: table, csv or json (default: table on a terminal, else csv)")
        ->check(CLI::IsMember({"table", "csv", "json"}));
}

}  // namespace

void addStepCommands(CLI::App& app, Action* action) {
    auto o = std::make_shared<StepOptions>();

    CLI::App* step = app.add_subcommand("step", "Run one step of the data-flow plug-in and print its output rows");
    step->add_option("step", o->stepName, "Step type, e.g. RDM_DOMAIN_LIST or RDM_ITEM_LIST")->required();
    step->add_option("--repository", o->repository, "The job's current repository")->required();
    step->add_option("--param", o->params, "A step parameter NAME=VALUE (repeatable)");
    step->add_option("--input", o->input, "Upstream rows: a delimited file whose first line names the fields");
    step->add_option("--separator", o->separator, "Field separator of --input (default ',')");
    step->add_option("--qualifier", o->qualifier, "Text qualifier of --input (default '\"'; empty for none)");
    step->add_option("--field-map", o->fieldMap, "Pass an upstream field through: UPSTREAM or UPSTREAM=OUTPUT (repeatable)");
    addCommonOptions(step, o.get());
    step->callback([action, o]() { *action = [o]() { return runStep(*o); }; });

    CLI::App* discoverCmd = app.add_subcommand("discover", "Print the discovery list of a step of the plug-in");
    discoverCmd->add_option("step", o->stepName, "Step type")->required();
    discoverCmd->add_option("--repository", o->repository, "The job's current repository")->required();
    addCommonOptions(discoverCmd, o.get());
    discoverCmd->callback([action, o]() { *action = [o]() { return discover(*o); }; });

    CLI::App* plugins = app.add_subcommand("plugins", "List the step types of the data-flow plug-in");
    addCommonOptions(plugins, o.get());
    plugins->callback([action, o]() { *action = [o]() { return listPlugins(*o); }; });
}

}  // namespace rdm
