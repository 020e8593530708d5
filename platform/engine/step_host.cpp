// The engine's side of one step run: parameters, variables, rows, output
// item descriptions and what the step reports.
#include "step_host.h"

#include "qxlog.h"

namespace engine {
namespace {

constexpr int kTextLength = 255;
constexpr int kBytesPerCharacter = 4;

void logError(const std::string& text) {
    qxlogGetLogger("QX.Engine")->log(QXLOG_ERROR, __FILE__, __LINE__, "%s", text.c_str());
}

// Converts a parameter text to the declared type; false when it does not convert.
bool convert(const std::string& text, int type, QxbDatavar* value) {
    value->assign(text.c_str());
    if (type == QXB_TYPE_STRING) return true;
    bool ok = true;
    if (type == QXB_TYPE_BOOL) {
        const bool flag = value->asBool(&ok);
        if (ok) value->assign(flag);
        return ok;
    }
    value->setType(static_cast<qxbType>(type));
    return !value->isNull();
}

}  // namespace

QxbDatavar* ValueRow::getSlot(int slot) {
    if (slot < 0 || slot >= getCount()) return nullptr;
    return &(*values_)[static_cast<std::size_t>(slot)];
}

const QxbDatavar* ValueRow::getSlot(int slot) const {
    if (slot < 0 || slot >= getCount()) return nullptr;
    return &(*values_)[static_cast<std::size_t>(slot)];
}

OutputItems::OutputItems(const EngineTable& table) : items_(table.fields.size()) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        OutputItem& item = items_[i];
        item.name.assign(table.fields[i].c_str());
        item.type = i < table.types.size() ? table.types[i] : QXB_TYPE_STRING;
        item.length = i < table.lengths.size() ? table.lengths[i] : kTextLength;
        item.byteLength = i < table.byteLengths.size() ? table.byteLengths[i] : item.length * kBytesPerCharacter;
    }
}

const OutputItem* OutputItems::at(int item) const {
    if (item < 0 || item >= getCount()) return nullptr;
    return &items_[static_cast<std::size_t>(item)];
}

QxbString OutputItems::getName(int item) const { return at(item) ? at(item)->name : QxbString(); }
int OutputItems::getType(int item) const { return at(item) ? at(item)->type : 0; }
int OutputItems::getLength(int item) const { return at(item) ? at(item)->length : 0; }
int OutputItems::getByteLength(int item) const { return at(item) ? at(item)->byteLength : 0; }

bool OutputItems::setItem(int item, const QxbString& name, int type, int length, int byteLength) {
    if (item < 0 || item >= getCount()) return false;
    items_[static_cast<std::size_t>(item)] = OutputItem{name, type, length, byteLength};
    return true;
}

QxbString ParamList::getEntry(int entry) const {
    if (entry < 0 || entry >= count()) return QxbString();
    return entries[static_cast<std::size_t>(entry)];
}

bool ParamStore::declare(const QxbString& name, int typeCode, bool isList) {
    if (name.length() == 0 || params_.count(name.str()) > 0) return false;
    ParamDecl& decl = params_[name.str()];
    decl.type = typeCode;
    decl.isList = isList;
    return true;
}

bool ParamStore::declareParam(const QxbString& name, int typeCode) { return declare(name, typeCode, false); }
bool ParamStore::declareParamList(const QxbString& name, int typeCode) { return declare(name, typeCode, true); }

bool ParamStore::setParamDefault(const QxbString& name, const QxbDatavar& value) {
    auto found = params_.find(name.str());
    if (found == params_.end()) return false;
    found->second.defaultValue = value;
    return true;
}

QxbDatavar ParamStore::getParam(const QxbString& name) const {
    auto found = params_.find(name.str());
    if (found == params_.end() || found->second.isList) return QxbDatavar();
    return found->second.isSet ? found->second.value : found->second.defaultValue;
}

const PlugParamList* ParamStore::getParamList(const QxbString& name) const {
    auto found = params_.find(name.str());
    if (found == params_.end() || !found->second.isList) return &empty_;
    return &found->second.list;
}

bool ParamStore::setFromText(const std::string& name, const std::string& value, std::string* error) {
    auto found = params_.find(name);
    if (found == params_.end()) {
        std::string known;
        for (const auto& param : params_) known += (known.empty() ? "" : ", ") + param.first;
        *error = "The step has no parameter '" + name + "' (parameters: " + known + ")";
        return false;
    }
    ParamDecl& decl = found->second;
    QxbDatavar converted;
    if (!convert(value, decl.type, &converted)) {
        *error = "The value '" + value + "' of parameter '" + name + "' does not convert to its type";
        return false;
    }
    if (decl.isList) {
        decl.list.entries.push_back(converted.asString());
    } else {
        decl.value = converted;
        decl.isSet = true;
    }
    return true;
}

QxbString VariableStore::getVariable(const QxbString& name, const QxbString& defaultValue) const {
    auto found = values_.find(name.str());
    return found == values_.end() ? defaultValue : QxbString(found->second);
}

StepHost::StepHost(const EngineStepRequest& request)
    : graph_(request.input != nullptr),
      input_(request.input),
      inputRowView_(&inputRowValues_),
      outputRow_(&outputValues_) {
    for (const auto& variable : request.variables) variables_.set(variable.first, variable.second);
    if (input_ != nullptr) inputItems_.reset(new OutputItems(*input_));
}

void StepHost::reportError(const QxbString& text) {
    logError(text.str());
    errors_.push_back(text.str());
}

void StepHost::reportStatus(const QxbString& text, int /*reserved*/) { status_ = text.str(); }

int StepHost::readNextInputRow(int /*port*/) {
    if (input_ == nullptr || inputRow_ + 1 >= static_cast<long>(input_->rows.size())) return 1;
    ++inputRow_;
    // A short row reads as null in its missing slots.
    inputRowValues_ = input_->rows[static_cast<std::size_t>(inputRow_)];
    inputRowValues_.resize(input_->fields.size());
    return 0;
}

const StepOutputItems* StepHost::getInputItems(int /*port*/) { return inputItems_.get(); }

const StepRow* StepHost::getInputRow(int /*port*/) {
    return inputRow_ < 0 ? nullptr : &inputRowView_;
}

StepRow* StepHost::getOutputRow() { return outputItems_ ? &outputRow_ : nullptr; }

StepOutputItems* StepHost::allocOutputItems(int count) {
    if (count < 0) return nullptr;
    outputItems_.reset(new OutputItems(count));
    outputValues_.assign(static_cast<std::size_t>(count), QxbDatavar());
    return outputItems_.get();
}

void StepHost::addInputName(const QxbString& name, int /*port*/) { inputNames_.push_back(name.str()); }

bool StepHost::applyParams(const EngineStepRequest& request) {
    for (const auto& param : request.params) {
        std::string error;
        if (!params_.setFromText(param.first, param.second, &error)) {
            reportError(QxbString(error));
            return false;
        }
    }
    return true;
}

void StepHost::keepOutputRow(EngineTable* output) {
    output->rows.push_back(outputValues_);
    outputValues_.assign(outputValues_.size(), QxbDatavar());
}

bool StepHost::passOutputRow(
    const EngineTable& described,
    const std::function<bool(const EngineTable&, const std::vector<QxbDatavar>&)>& onRow) {
    const bool more = onRow(described, outputValues_);
    for (QxbDatavar& value : outputValues_) value.setNull();
    return more;
}

void StepHost::describeOutputs(EngineTable* output) const {
    output->fields.clear();
    output->types.clear();
    output->lengths.clear();
    output->byteLengths.clear();
    if (!outputItems_) return;
    for (int i = 0; i < outputItems_->getCount(); ++i) {
        output->fields.push_back(outputItems_->getName(i).str());
        output->types.push_back(outputItems_->getType(i));
        output->lengths.push_back(outputItems_->getLength(i));
        output->byteLengths.push_back(outputItems_->getByteLength(i));
    }
}

void TableSink::setColumnCount(int count) {
    if (count < 0) count = 0;
    table_->fields.clear();
    for (int i = 0; i < count; ++i) table_->fields.push_back("COLUMN" + std::to_string(i));
    row_.assign(static_cast<std::size_t>(count), QxbDatavar());
}

void TableSink::setColumnValue(int column, const QxbDatavar& value) {
    if (column < 0 || column >= static_cast<int>(row_.size())) return;
    row_[static_cast<std::size_t>(column)] = value;
}

void TableSink::endRow() {
    table_->rows.push_back(row_);
    row_.assign(row_.size(), QxbDatavar());
}

}  // namespace engine
