// engine: a small host of the data-flow engine. It loads a plug-in by file
// name, learns its step types, runs one step (optionally downstream of the
// rows of a delimited text file) and collects the output rows, the reported
// errors and the status text, and fills a step's discovery list.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "qxbcpp.h"

#define ENGINE_API __attribute__((visibility("default")))

class StepPluginFactory;

// A table of rows: the upstream rows fed to a step, a step's output, or a
// discovery list. types/lengths may be empty (discovery lists).
struct EngineTable {
    std::vector<std::string> fields;
    std::vector<int> types;    // value type codes (qxbType)
    std::vector<int> lengths;  // characters; 0 for numbers and dates
    std::vector<int> byteLengths;
    std::vector<std::vector<QxbDatavar>> rows;
};

// Reads a delimited text file: its first line names the fields, every further
// line is a row of texts (an empty field is null; a line with fewer fields
// has null values at the end; an empty line is skipped). Fields are texts of
// length 255. False with the reason (naming the file, and the line when one
// has more fields than the first) in *error.
ENGINE_API bool engineReadDelimitedFile(const std::string& path, char separator, char qualifier,
                                        EngineTable* table, QxbString* error);

struct EngineStepType {
    QxbString name;
    QxbString displayName;
    QxbString category;
    int kind = 0;
};

// What to run. Parameters are given as texts and converted to the declared
// type (a boolean parameter takes "true"/"false"/"yes"/"no"/"1"/"0"); a
// list parameter gets every value given under its name, in order, a single
// parameter the last. An undeclared name fails the run.
struct EngineStepRequest {
    std::string stepName;
    std::vector<std::pair<std::string, std::string>> params;
    std::vector<std::pair<std::string, std::string>> variables;  // job variables
    const EngineTable* input = nullptr;  // the upstream rows; null: no upstream step
    // When set, every output row goes here as the step produces it (described
    // holds the output fields, known before the first row) instead of being
    // kept in the result's output, so memory stays flat for any number of
    // rows. Answering false ends the run as if the step had no more rows.
    std::function<bool(const EngineTable& described, const std::vector<QxbDatavar>& row)> onRow;
};

struct EngineStepResult {
    // The last answer of getNextRow (1 when the step ran out of rows); 2 when
    // the step failed, also before any row was asked for.
    int answer = 2;
    EngineTable output;  // the output fields and rows
    std::vector<std::string> errors;  // every text the step or the host reported
    std::string status;  // the status text reported at finish (empty if none)
    std::vector<std::string> inputNames;  // the upstream fields the step named
    int progressPercent = -1;  // getProgress after finish; -1 when not answered
    std::string progressText;
    bool totalRowsKnown = false;
    long long totalRows = -1;
    bool succeeded() const { return answer != 2 && errors.empty(); }
};

// A loaded plug-in. Release it when done (the plug-in is unloaded then).
class ENGINE_API EnginePlugin {
public:
    virtual int getStepTypeCount() = 0;
    // False for an index outside the table.
    virtual bool getStepType(int index, EngineStepType* type) = 0;
    // Runs one step: initialize, defineOutputs, prepare, getNextRow until it
    // answers other than 0, finish, destroy. False when the step failed
    // (answer 2, or errors were reported); *result holds what happened.
    virtual bool runStep(const EngineStepRequest& request, EngineStepResult* result) = 0;
    // Fills the step's discovery list into *table (fields "COLUMN0", ...).
    // False with every reason (the list's and the step's) in *errors.
    virtual bool discover(const EngineStepRequest& request, EngineTable* table,
                          std::vector<std::string>* errors) = 0;
    virtual void release() = 0;

protected:
    virtual ~EnginePlugin() {}
};

// Loads the plug-in at path and creates its factory. Null with the reason in
// *error: a file that cannot be loaded (naming the file and the loader's
// reason), a missing factory symbol (naming the symbol and the file), or a
// factory that could not be created.
ENGINE_API EnginePlugin* engineLoadPlugin(const std::string& path, QxbString* error);

// Step types built into the program: a factory the program created itself.
// The plug-in object owns it from here (destroyed on release, also when
// null is answered). Null (reason in *error) for a null factory.
ENGINE_API EnginePlugin* engineUseFactory(StepPluginFactory* factory, QxbString* error);
