// RefDataListStep: what the domain-list and the item-list steps share: the
// run's life cycle, the session on the job's repository, the field map, the
// row loop over one query per input row, the counters and the status text.
// Each step supplies its parameters, output fields, upstream values and query.
#pragma once

#include <cstdint>
#include <vector>

#include "RefData.h"
#include "RefDataCursor.h"
#include "RefDataViewer.h"
#include "dataflow.h"

// The message module of this plug-in.
#define RDP_MODULE "Reference Data Plugin"

// One output field of a step's own: name, type code and length.
struct StepFieldSpec {
    const char* name;
    int type;
    int length;
};

class RefDataListStep : public StepPluginStep {
public:
    bool initialize(PlugStep* step, int* a, int* b) override;
    void destroy() override;
    int defineOutputs(unsigned flags) override;
    bool prepare() override;
    int getNextRow(int reserved) override;
    void finish() override;
    bool getProgress(int* percent, QxbString* text) override;
    bool getTotalRows(std::int64_t* count) override;
    void reserved(int value) override;

protected:
    RefDataListStep(const StepFieldSpec* fields, int fieldCount);
    ~RefDataListStep() override;

    // Declares the step's own parameters (after the field map).
    virtual void declareParameters(PlugParamSet* params) = 0;
    // Reads the parameters at defineOutputs and at prepare; answers whether
    // the step's own arguments come from upstream rows.
    virtual bool readParameters(const PlugParams* params) = 0;
    // Names the upstream fields the step reads itself.
    virtual void addInputNames() = 0;
    // Resolves the upstream fields at prepare; false when reported.
    virtual bool resolveInputFields(const StepOutputItems* items) = 0;
    // Takes the query's arguments from the upstream row (null in value mode
    // without upstream); 0, or the answer that ends the step (reported).
    virtual int readUpstreamValues(const StepRow* row) = 0;
    // The query for the current arguments; null with the reason in the handle.
    virtual RefDataCursor* openCursor() = 0;
    // Fills the step's own slots from the cursor's current row.
    virtual void fillRow(StepRow* row, int firstSlot) = 0;
    // True when the status text never mentions repeated rows.
    virtual bool plainStatus() const = 0;

    // Reports a message of this plug-in's module.
    void reportMessage(const char* sourceFile, int line, int code);
    void reportMessage(const char* sourceFile, int line, int code, const QxbString& argument);
    void reportText(const char* text) { step->reportError(QxbString(text)); }
    static void copyValue(StepRow* row, int slot, const QxbDatavar& value);
    // A value of its own (a cursor's answer) goes to the slot without a copy.
    static void copyValue(StepRow* row, int slot, QxbDatavar&& value);

    PlugStep* step = nullptr;
    RefDataHandle* handle = nullptr;
    RefData* session = nullptr;
    RefDataViewer* viewer = nullptr;
    RefDataCursor* cursor = nullptr;
    QxbString repositoryName;
    std::vector<int> fieldMapIndexes;
    int passThroughCount = 0;
    std::int64_t totalRows = -1;
    const int outputFieldCount;
    std::uint64_t rowsOutput = 0;
    std::uint64_t inputRowsRead = 0;
    bool done = false;
    bool readsInput = false;
    const StepRow* currentInputRow = nullptr;

private:
    // Reads the step's parameters (at defineOutputs and again at prepare).
    void refreshParameters();
    bool openSession();
    void releaseSession();
    void releaseCursor();
    void copyPassThrough(StepRow* out);
    // Reads the next upstream row; 0, or the answer that ends the step.
    int advanceInput();
    const StepFieldSpec* fields_;
};
