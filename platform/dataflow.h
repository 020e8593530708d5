// dataflow: the data-flow engine's plug-in contract. A plug-in exports one
// function, step_create_factory11, answering a StepPluginFactory; the factory
// creates steps (StepPluginStep), which the engine drives through a PlugStep
// object of its own, and discovery lists (PlugDiscovery) for the engine's
// user interface.
//
// Ownership: objects the engine hands to a plug-in (PlugStep and everything
// reached from it, rows, item descriptions, sinks) belong to the engine and
// stay valid for the step's run. Objects a plug-in hands out are given back
// through their own destroy operation. No operation throws.
// The order of operations of each interface is fixed.
#pragma once

#include <cstdint>

#include "qxbcpp.h"

// Parameter type codes of PlugParamSet::declareParam (the value type codes
// of QxbDatavar): QXB_TYPE_BOOL (1) and QXB_TYPE_STRING (4) are used here.

// One row of values: numbered slots, each a QxbDatavar.
class StepRow {
public:
    virtual int getCount() const = 0;
    // The slot's value, or null for a slot outside the row.
    virtual QxbDatavar* getSlot(int slot) = 0;
    virtual const QxbDatavar* getSlot(int slot) const = 0;

protected:
    virtual ~StepRow() {}
};

// The descriptions of a step's output fields, in slot order.
class StepOutputItems {
public:
    virtual int getCount() const = 0;
    // Name, type code, length (characters, 0 for numbers and dates) and byte
    // length of field i. Outside the items: a null name and 0s.
    virtual QxbString getName(int item) const = 0;
    virtual int getType(int item) const = 0;
    virtual int getLength(int item) const = 0;
    virtual int getByteLength(int item) const = 0;
    // Describes field i. False for an index outside the items.
    virtual bool setItem(int item, const QxbString& name, int type, int length,
                         int byteLength) = 0;

protected:
    virtual ~StepOutputItems() {}
};

// The job's variables.
class PlugVariables {
public:
    // The variable's value, or defaultValue when it is not set.
    virtual QxbString getVariable(const QxbString& name, const QxbString& defaultValue) const = 0;

protected:
    virtual ~PlugVariables() {}
};

// The entries of a list parameter, in the order given.
class PlugParamList {
public:
    virtual int count() const = 0;
    // Entry i, or a null text outside the list.
    virtual QxbString getEntry(int entry) const = 0;

protected:
    virtual ~PlugParamList() {}
};

// The parameter values of a step's run: what was set, else the declared default.
class PlugParams {
public:
    // The value converted to the declared type; null when neither set nor
    // defaulted, or when the name is not declared.
    virtual QxbDatavar getParam(const QxbString& name) const = 0;
    // A list parameter's entries; never null (an empty list when unknown).
    virtual const PlugParamList* getParamList(const QxbString& name) const = 0;

protected:
    virtual ~PlugParams() {}
};

// Where a step declares its parameters (at initialize).
class PlugParamSet {
public:
    // A parameter holding one value of the type code. False when the name is
    // already declared or empty.
    virtual bool declareParam(const QxbString& name, int typeCode) = 0;
    // A parameter holding a list of values of the type code.
    virtual bool declareParamList(const QxbString& name, int typeCode) = 0;
    // False when the name is not declared.
    virtual bool setParamDefault(const QxbString& name, const QxbDatavar& value) = 0;

protected:
    virtual ~PlugParamSet() {}
};

// Where the step sits in the flow.
class PlugGraphInfo {
public:
    // True when an upstream step feeds this one.
    virtual bool hasInput() const = 0;

protected:
    virtual ~PlugGraphInfo() {}
};

// The engine's side of one step: what a step may ask of the engine.
class PlugStep {
public:
    virtual const PlugVariables* getVariables() = 0;
    virtual const PlugParams* getParams() = 0;
    virtual PlugParamSet* getParamSet() = 0;
    // An error of the step; the engine shows each text as given.
    virtual void reportError(const QxbString& text) = 0;
    // The step's closing status text. The second argument is reserved (0).
    virtual void reportStatus(const QxbString& text, int reserved) = 0;
    virtual const PlugGraphInfo* getGraphInfo() = 0;
    // 0 when a new upstream row is now current; any other answer ends the
    // step's output (1: no more rows) and is handed back to the engine
    // unchanged by getNextRow. The argument is the input port (0).
    virtual int readNextInputRow(int port) = 0;
    // The upstream step's output fields, or null when there is none.
    virtual const StepOutputItems* getInputItems(int port) = 0;
    // The current upstream row, or null when there is none.
    virtual const StepRow* getInputRow(int port) = 0;
    // The row to fill for the next output row, its slots null, sized to the
    // last output items allocated. Null before allocOutputItems.
    virtual StepRow* getOutputRow() = 0;
    // New output item descriptions of count fields (unnamed, type 0),
    // replacing earlier ones. Owned by the engine.
    virtual StepOutputItems* allocOutputItems(int count) = 0;
    // The upstream fields this step reads: cleared, then named one by one.
    virtual void clearInputNames() = 0;
    virtual void addInputName(const QxbString& name, int port) = 0;

protected:
    virtual ~PlugStep() {}
};

// Receives the rows of a discovery list.
class PlugDiscoverySink {
public:
    virtual void setColumnCount(int count) = 0;
    // Sets a column of the row being built; columns outside the count are ignored.
    virtual void setColumnValue(int column, const QxbDatavar& value) = 0;
    // Ends the row being built; the next value starts a new row.
    virtual void endRow() = 0;

protected:
    virtual ~PlugDiscoverySink() {}
};

// A list of choices the engine's user interface offers for a step.
class PlugDiscovery {
public:
    virtual bool initialize() = 0;
    // Reserved settings (both 0); answers true.
    virtual bool configure(int option, int value) = 0;
    // Writes the list into the sink. False with the reason in *errorOut, or
    // reported through the step's reportError.
    virtual bool fill(PlugDiscoverySink* sink, QxbString* errorOut) = 0;
    // Frees the list.
    virtual void destroy() = 0;
    virtual ~PlugDiscovery() {}
};

// A step of a plug-in. The engine calls initialize, defineOutputs, prepare,
// getNextRow until it answers other than 0, finish, then destroy (after a
// failed initialize or prepare: destroy).
class StepPluginStep {
public:
    // Remembers the engine's step object and declares the parameters. The
    // two out-values are the engine's (the steps here set both to 1).
    virtual bool initialize(PlugStep* step, int* a, int* b) = 0;
    // Releases everything the step holds and frees it.
    virtual void destroy() = 0;
    // Describes the output fields (allocOutputItems or the field-map helpers).
    // Answers a bit set; 1, 2 and 4 together mean the outputs are described.
    virtual int defineOutputs(unsigned flags) = 0;
    virtual bool prepare() = 0;
    // 0 a row was written into getOutputRow(), 1 no more rows, 2 failure, or
    // what readNextInputRow answered. The argument is reserved (0).
    virtual int getNextRow(int reserved) = 0;
    virtual void finish() = 0;
    virtual bool getProgress(int* percent, QxbString* text) = 0;
    // False while the total is unknown.
    virtual bool getTotalRows(std::int64_t* count) = 0;
    // A new discovery list for the given engine step object (destroy it).
    // Null when it cannot be allocated.
    virtual PlugDiscovery* createDiscovery(PlugStep* step) = 0;
    virtual ~StepPluginStep() {}
    // Reserved; does nothing.
    virtual void reserved(int value) = 0;
};

// Allocates and constructs a step; null when it cannot be allocated.
typedef StepPluginStep* (*StepCreator)();

// The plug-in's table of step types, indexed from 0.
class StepPluginFactory {
public:
    virtual int getVersion() = 0;
    virtual int getStepTypeCount() = 0;
    // The step type's creator; null for an index outside the table.
    virtual StepCreator getStepCreator(int index) = 0;
    // Name and display name; a null text outside the table.
    virtual QxbString getStepName(int index) = 0;
    virtual QxbString getStepDisplayName(int index) = 0;
    virtual bool getStepOption(int index, int option) = 0;
    virtual bool getStepAttribute(int index, int key, QxbString* value) = 0;
    // Frees the factory.
    virtual void destroy() = 0;
    virtual int getFlags() = 0;
    virtual QxbString getStepHelp(int index) = 0;
    virtual int getStepIcon(int index) = 0;
    virtual ~StepPluginFactory() {}
    // The step type's category (sub-index 0 only) and its kind. False for
    // other sub-indexes.
    virtual bool getStepCategory(int index, int subIndex, QxbString* category, int* kind) = 0;
};

// The one export of a plug-in: a new factory (destroy it), null when it
// cannot be allocated.
#define STEP_FACTORY_SYMBOL "step_create_factory11"
typedef StepPluginFactory* (*StepCreateFactoryFunction)();
