// DTS_RefDataDomainList, the step "RDM_DOMAIN_LIST", and the run that both
// steps of the plug-in share (RefDataListStep).
#include "dts_refdatadomainlist.h"

#include <new>
#include <utility>

#include "dtd_refdata.h"
#include "qxphlp.h"

namespace {

const char* const kCurrentRepository = "_CURRENT_REPOSITORY";
const char* const kNoParentNode = "Filter field specified but no parent node found";
constexpr int kBytesPerCharacter = 4;
// defineOutputs: 1 the input names are built, 1|2|4 the outputs are described.
constexpr int kInputNamesBuilt = 1;
constexpr int kOutputsDescribed = 7;
// RefDataCursor::next answers.
constexpr int kRowCurrent = 0;
// getNextRow answers.
constexpr int kRowWritten = 0;
constexpr int kNoMoreRows = 1;
constexpr int kFailed = 2;

const StepFieldSpec kDomainFields[] = {
    {"ID", QXB_TYPE_INT, 0},           {"NAME", QXB_TYPE_STRING, 255},
    {"DESCRIPTION", QXB_TYPE_STRING, 255}, {"VERSION", QXB_TYPE_INT, 0},
    {"VERSION_LABEL", QXB_TYPE_STRING, 255}, {"ACCOUNT", QXB_TYPE_STRING, 255},
    {"TYPE", QXB_TYPE_STRING, 255},    {"SCOPE", QXB_TYPE_STRING, 255},
    {"CREATE_DATE", QXB_TYPE_DATE, 0},
};
// The getDomainWithDetails column of each output field (column 3 is not emitted).
const int kDomainColumns[] = {0, 1, 2, 4, 5, 6, 7, 8, 9};
constexpr int kCreateDateField = 8;

}  // namespace

// ---------------------------------------------------------------------------
// RefDataListStep

RefDataListStep::RefDataListStep(const StepFieldSpec* fields, int fieldCount)
    : outputFieldCount(fieldCount), fields_(fields) {}

RefDataListStep::~RefDataListStep() {}

bool RefDataListStep::initialize(PlugStep* engineStep, int* a, int* b) {
    step = engineStep;
    *a = 1;
    *b = 1;
    totalRows = -1;
    readsInput = false;
    rowsOutput = 0;
    inputRowsRead = 0;
    PlugParamSet* params = step->getParamSet();
    addStandardFieldMap(params);
    declareParameters(params);
    fieldMapIndexes.clear();
    return true;
}

int RefDataListStep::defineOutputs(unsigned flags) {
    inputRowsRead = 0;
    const PlugParamList* fieldMap = step->getParams()->getParamList(QxbString(QXPHLP_FIELD_MAP));
    passThroughCount = fieldMap->count();
    fieldMapIndexes.assign(static_cast<std::size_t>(passThroughCount), -1);
    refreshParameters();
    int result = 0;
    step->clearInputNames();
    if (buildInputNamesFromFieldMap(step)) {
        addInputNames();
        result = kInputNamesBuilt;
    }
    const bool hasInput = step->getGraphInfo()->hasInput();
    if (passThroughCount > 0 && !hasInput) {
        // Without an upstream step no row holds the fields to pass through.
        QxbString upstreamName, outputName;
        if (!parseFieldMapEntry(fieldMap->getEntry(0), &upstreamName, &outputName))
            upstreamName = fieldMap->getEntry(0);
        step->reportError(QxbString("Field map: the field '" + upstreamName.str() +
                                    "' cannot be passed through, the step has no upstream step"));
        return result;
    }
    StepOutputItems* items = nullptr;
    int first = 0;
    if (hasInput) {
        items = buildOutputInfoFromFieldMap(step, outputFieldCount, flags, fieldMapIndexes.data());
        if (items == nullptr) return result;
        first = passThroughCount;
    } else {
        items = step->allocOutputItems(outputFieldCount);
        if (items == nullptr) return result;
    }
    for (int i = 0; i < outputFieldCount; ++i)
        items->setItem(first + i, QxbString(fields_[i].name), fields_[i].type, fields_[i].length,
                       kBytesPerCharacter * fields_[i].length);
    return result | kOutputsDescribed;
}

bool RefDataListStep::openSession() {
    releaseSession();
    QxbString error;
    session = createReferenceDataSession(0, &error);
    if (session == nullptr) {
        step->reportError(error);
        return false;
    }
    error.setNull();
    if (!session->open(&handle, repositoryName, &error)) {
        releaseSession();
        step->reportError(error);
        return false;
    }
    viewer = session->getViewer(handle);
    if (viewer == nullptr) {
        step->reportError(session->getErrorText(handle));
        return false;
    }
    return true;
}

void RefDataListStep::refreshParameters() {
    readsInput = readParameters(step->getParams()) || passThroughCount > 0;
}

bool RefDataListStep::prepare() {
    // A host may run the step again on this instance, with new parameters.
    refreshParameters();
    rowsOutput = 0;
    inputRowsRead = 0;
    releaseCursor();
    repositoryName = step->getVariables()->getVariable(QxbString(kCurrentRepository), QxbString(""));
    if (repositoryName.length() == 0) {
        reportMessage(__FILE__, __LINE__, 1306, QxbString(""));
        return false;
    }
    if (!openSession()) return false;
    if (!resolveInputFields(step->getInputItems(0))) return false;
    currentInputRow = nullptr;
    done = false;
    return true;
}

int RefDataListStep::advanceInput() {
    const int answer = step->readNextInputRow(0);
    if (answer != 0) {
        done = true;
        return answer;
    }
    ++inputRowsRead;
    return 0;
}

void RefDataListStep::copyPassThrough(StepRow* out) {
    for (int i = 0; i < passThroughCount; ++i) {
        const QxbDatavar* value = currentInputRow->getSlot(fieldMapIndexes[static_cast<std::size_t>(i)]);
        copyValue(out, i, value == nullptr ? QxbDatavar() : *value);
    }
}

int RefDataListStep::getNextRow(int /*unused*/) {
    if (readsInput && currentInputRow == nullptr) {
        const int answer = advanceInput();
        if (answer != 0) return answer;
    }
    for (;;) {
        StepRow* out = step->getOutputRow();
        currentInputRow = step->getInputRow(0);
        if (out == nullptr) {
            done = true;
            return kFailed;
        }
        if (currentInputRow != nullptr) copyPassThrough(out);
        const int upstream = readUpstreamValues(currentInputRow);
        if (upstream != 0) return upstream;
        if (cursor == nullptr) {
            cursor = openCursor();
            if (cursor == nullptr) {
                step->reportError(session->getErrorText(handle));
                done = true;
                return kFailed;
            }
            cursor->isReady();
        }
        const int next = cursor->next();
        if (next == kRowCurrent) {
            ++rowsOutput;
            fillRow(out, passThroughCount);
            return kRowWritten;
        }
        if (next != kNoMoreRows) {  // any other answer is a failure of the query
            const QxbString reason = session->getErrorText(handle);
            step->reportError(reason.length() > 0 ? reason
                                                  : QxbString("The query failed while its rows were read"));
            done = true;
            return kFailed;
        }
        releaseCursor();
        if (!readsInput) {
            done = true;
            return kNoMoreRows;
        }
        const int answer = advanceInput();
        if (answer != 0) return answer;
    }
}

void RefDataListStep::finish() {
    releaseCursor();
    QxbString text;
    const unsigned long long output = rowsOutput;
    if (!plainStatus() && inputRowsRead > 0) {
        const unsigned long long repeated = (inputRowsRead - 1) * (rowsOutput / inputRowsRead);
        text = qxbStringFormat("%I64u row(s) processed, %I64u were repeated", output, repeated);
    } else {
        text = qxbStringFormat("%I64u row(s) processed", output);
    }
    step->reportStatus(text, 0);
}

bool RefDataListStep::getProgress(int* percent, QxbString* text) {
    if (done) {
        *percent = 100;
        text->assign("Complete");
    }
    return true;
}

bool RefDataListStep::getTotalRows(std::int64_t* count) {
    if (totalRows == -1) return false;
    *count = totalRows;
    return true;
}

void RefDataListStep::reserved(int /*value*/) {}

void RefDataListStep::releaseCursor() {
    if (cursor != nullptr) cursor->release();
    cursor = nullptr;
}

void RefDataListStep::releaseSession() {
    if (session != nullptr) session->release(&handle);
    session = nullptr;
    handle = nullptr;
    viewer = nullptr;
}

void RefDataListStep::destroy() {
    fieldMapIndexes.clear();
    releaseCursor();
    releaseSession();
    delete this;
}

void RefDataListStep::reportMessage(const char* sourceFile, int line, int code) {
    step->reportError(qxb_get_message(sourceFile, line, RDP_MODULE, code));
}

void RefDataListStep::reportMessage(const char* sourceFile, int line, int code, const QxbString& argument) {
    step->reportError(qxb_get_message(sourceFile, line, RDP_MODULE, code, argument));
}

void RefDataListStep::copyValue(StepRow* row, int slot, const QxbDatavar& value) {
    QxbDatavar* target = row->getSlot(slot);
    if (target != nullptr) *target = value;
}

void RefDataListStep::copyValue(StepRow* row, int slot, QxbDatavar&& value) {
    QxbDatavar* target = row->getSlot(slot);
    if (target != nullptr) *target = std::move(value);
}

// ---------------------------------------------------------------------------
// DTS_RefDataDomainList

DTS_RefDataDomainList::DTS_RefDataDomainList()
    : RefDataListStep(kDomainFields, static_cast<int>(sizeof kDomainFields / sizeof kDomainFields[0])) {}

void DTS_RefDataDomainList::declareParameters(PlugParamSet* params) {
    inputValue.setNull();
    inputFieldIndex = -1;
    QxbDatavar value;
    params->declareParam(QxbString("INPUT_TYPE"), QXB_TYPE_STRING);
    value.assign("value");
    params->setParamDefault(QxbString("INPUT_TYPE"), value);
    params->declareParam(QxbString("INPUT_VAL"), QXB_TYPE_STRING);
    params->declareParam(QxbString("CURRENT"), QXB_TYPE_BOOL);
    value.assign(true);
    params->setParamDefault(QxbString("CURRENT"), value);
}

bool DTS_RefDataDomainList::readParameters(const PlugParams* params) {
    current = params->getParam(QxbString("CURRENT")).asBool();
    inputType = params->getParam(QxbString("INPUT_TYPE")).asString();
    inputValue = params->getParam(QxbString("INPUT_VAL")).asString();
    return fieldMode();
}

void DTS_RefDataDomainList::addInputNames() {
    if (fieldMode() && inputValue.length() > 0) step->addInputName(inputValue, 0);
}

bool DTS_RefDataDomainList::resolveInputFields(const StepOutputItems* items) {
    if (!fieldMode()) return true;
    if (items == nullptr) {
        reportText(kNoParentNode);
        return false;
    }
    inputValue = step->getParams()->getParam(QxbString("INPUT_VAL")).asString();
    inputFieldIndex = findOutputItemByName(items, inputValue);
    if (inputFieldIndex == -1) {
        reportMessage(__FILE__, __LINE__, 404);
        return false;
    }
    return true;
}

int DTS_RefDataDomainList::readUpstreamValues(const StepRow* row) {
    if (!fieldMode()) return 0;
    const QxbDatavar* value = row == nullptr ? nullptr : row->getSlot(inputFieldIndex);
    if (value == nullptr || value->isNull()) {
        reportMessage(__FILE__, __LINE__, 923);
        done = true;
        return kFailed;
    }
    inputValue = value->asString();
    return 0;
}

RefDataCursor* DTS_RefDataDomainList::openCursor() {
    return viewer->getDomainWithDetails(handle, inputValue, current);
}

void DTS_RefDataDomainList::fillRow(StepRow* row, int firstSlot) {
    for (int i = 0; i < outputFieldCount; ++i) {
        QxbDatavar value = cursor->getValue(kDomainColumns[i]);
        if (i == kCreateDateField) value.setType(QXB_TYPE_DATE);
        copyValue(row, firstSlot + i, std::move(value));
    }
}

PlugDiscovery* DTS_RefDataDomainList::createDiscovery(PlugStep* forStep) {
    return new (std::nothrow) DTD_RefDataDomainList(forStep != nullptr ? forStep : step);
}

StepPluginStep* createDomainListStep() { return new (std::nothrow) DTS_RefDataDomainList(); }
