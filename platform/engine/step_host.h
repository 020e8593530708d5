// The engine's side of one step run: parameters, variables, rows, output
// item descriptions and what the step reports.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dataflow.h"
#include "engine.h"

namespace engine {

class ValueRow : public StepRow {
public:
    explicit ValueRow(std::vector<QxbDatavar>* values) : values_(values) {}
    int getCount() const override { return static_cast<int>(values_->size()); }
    QxbDatavar* getSlot(int slot) override;
    const QxbDatavar* getSlot(int slot) const override;
    void rebind(std::vector<QxbDatavar>* values) { values_ = values; }
    ~ValueRow() override {}

private:
    std::vector<QxbDatavar>* values_;
};

struct OutputItem {
    QxbString name;
    int type = 0;
    int length = 0;
    int byteLength = 0;
};

class OutputItems : public StepOutputItems {
public:
    explicit OutputItems(int count) : items_(static_cast<std::size_t>(count)) {}
    // Upstream fields described by a table (texts of length 255 when untyped).
    explicit OutputItems(const EngineTable& table);
    int getCount() const override { return static_cast<int>(items_.size()); }
    QxbString getName(int item) const override;
    int getType(int item) const override;
    int getLength(int item) const override;
    int getByteLength(int item) const override;
    bool setItem(int item, const QxbString& name, int type, int length, int byteLength) override;
    ~OutputItems() override {}

private:
    const OutputItem* at(int item) const;
    std::vector<OutputItem> items_;
};

class ParamList : public PlugParamList {
public:
    int count() const override { return static_cast<int>(entries.size()); }
    QxbString getEntry(int entry) const override;
    ~ParamList() override {}
    std::vector<QxbString> entries;
};

struct ParamDecl {
    int type = QXB_TYPE_STRING;
    bool isList = false;
    bool isSet = false;
    QxbDatavar defaultValue;
    QxbDatavar value;
    ParamList list;
};

// Declared parameters with their defaults and the values of the run.
class ParamStore : public PlugParams, public PlugParamSet {
public:
    bool declareParam(const QxbString& name, int typeCode) override;
    bool declareParamList(const QxbString& name, int typeCode) override;
    bool setParamDefault(const QxbString& name, const QxbDatavar& value) override;
    QxbDatavar getParam(const QxbString& name) const override;
    const PlugParamList* getParamList(const QxbString& name) const override;
    // Sets a declared parameter from a text; false with the reason otherwise.
    bool setFromText(const std::string& name, const std::string& value, std::string* error);
    ~ParamStore() override {}

private:
    bool declare(const QxbString& name, int typeCode, bool isList);
    std::map<std::string, ParamDecl> params_;
    ParamList empty_;
};

class VariableStore : public PlugVariables {
public:
    QxbString getVariable(const QxbString& name, const QxbString& defaultValue) const override;
    void set(const std::string& name, const std::string& value) { values_[name] = value; }
    ~VariableStore() override {}

private:
    std::map<std::string, std::string> values_;
};

class GraphInfo : public PlugGraphInfo {
public:
    explicit GraphInfo(bool hasInput) : hasInput_(hasInput) {}
    bool hasInput() const override { return hasInput_; }
    ~GraphInfo() override {}

private:
    bool hasInput_;
};

// The PlugStep handed to a step: it feeds the upstream table row by row and
// records what the step reports.
class StepHost : public PlugStep {
public:
    explicit StepHost(const EngineStepRequest& request);
    ~StepHost() override {}

    const PlugVariables* getVariables() override { return &variables_; }
    const PlugParams* getParams() override { return &params_; }
    PlugParamSet* getParamSet() override { return &params_; }
    void reportError(const QxbString& text) override;
    void reportStatus(const QxbString& text, int reserved) override;
    const PlugGraphInfo* getGraphInfo() override { return &graph_; }
    int readNextInputRow(int port) override;
    const StepOutputItems* getInputItems(int port) override;
    const StepRow* getInputRow(int port) override;
    StepRow* getOutputRow() override;
    StepOutputItems* allocOutputItems(int count) override;
    void clearInputNames() override { inputNames_.clear(); }
    void addInputName(const QxbString& name, int port) override;

    // Applies the request's parameters; false (reported) on an unknown name.
    bool applyParams(const EngineStepRequest& request);
    // Keeps the output row just written and clears the buffer for the next.
    void keepOutputRow(EngineTable* output);
    // Hands the current output row to onRow instead; its answer.
    bool passOutputRow(const EngineTable& described,
                       const std::function<bool(const EngineTable&, const std::vector<QxbDatavar>&)>& onRow);
    void describeOutputs(EngineTable* output) const;
    bool hasOutputItems() const { return outputItems_ != nullptr; }
    std::vector<std::string> takeErrors() { return std::move(errors_); }
    const std::string& status() const { return status_; }
    const std::vector<std::string>& inputNames() const { return inputNames_; }

private:
    VariableStore variables_;
    ParamStore params_;
    GraphInfo graph_;
    const EngineTable* input_;
    std::unique_ptr<OutputItems> inputItems_;
    long inputRow_ = -1;  // the current upstream row; -1 before the first
    std::vector<QxbDatavar> inputRowValues_;
    ValueRow inputRowView_;
    std::unique_ptr<OutputItems> outputItems_;
    std::vector<QxbDatavar> outputValues_;
    ValueRow outputRow_;
    std::vector<std::string> errors_;
    std::string status_;
    std::vector<std::string> inputNames_;
};

// Collects a discovery list's rows.
class TableSink : public PlugDiscoverySink {
public:
    explicit TableSink(EngineTable* table) : table_(table) {}
    void setColumnCount(int count) override;
    void setColumnValue(int column, const QxbDatavar& value) override;
    void endRow() override;
    ~TableSink() override {}

private:
    EngineTable* table_;
    std::vector<QxbDatavar> row_;
};

}  // namespace engine
