// qxphlp: the field-map helpers, which pass upstream fields through a step.
#include "qxphlp.h"

#include <string>

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

const PlugParamList* fieldMapOf(PlugStep* step) {
    const PlugParams* params = step->getParams();
    return params == nullptr ? nullptr : params->getParamList(QxbString(QXPHLP_FIELD_MAP));
}

void reportBadEntry(PlugStep* step, const QxbString& entry) {
    step->reportError(QxbString("Field map entry '" + entry.str() +
                                "' names no upstream field (expected UPSTREAM or UPSTREAM=OUTPUT)"));
}

// Describes pass-through field i after the upstream field it copies; false
// (reported) when the upstream has no such field.
bool describePassThrough(PlugStep* step, const StepOutputItems* upstream, StepOutputItems* items,
                         int i, const QxbString& entry, int* fieldIndex) {
    QxbString upstreamName, outputName;
    if (!parseFieldMapEntry(entry, &upstreamName, &outputName)) {
        reportBadEntry(step, entry);
        return false;
    }
    const int index = findOutputItemByName(upstream, upstreamName);
    if (index < 0) {
        step->reportError(QxbString("Field map: the upstream step has no field '" +
                                    upstreamName.str() + "'"));
        return false;
    }
    *fieldIndex = index;
    return items->setItem(i, outputName, upstream->getType(index), upstream->getLength(index),
                          upstream->getByteLength(index));
}

}  // namespace

bool parseFieldMapEntry(const QxbString& entry, QxbString* upstream, QxbString* output) {
    const std::string& text = entry.str();
    const auto equals = text.find('=');
    const std::string from = trimmed(text.substr(0, equals));
    const std::string to = equals == std::string::npos ? from : trimmed(text.substr(equals + 1));
    if (from.empty()) return false;
    upstream->assign(from.c_str());
    output->assign(to.empty() ? from.c_str() : to.c_str());
    return true;
}

bool addStandardFieldMap(PlugParamSet* params) {
    return params != nullptr && params->declareParamList(QxbString(QXPHLP_FIELD_MAP), QXB_TYPE_STRING);
}

bool buildInputNamesFromFieldMap(PlugStep* step) {
    if (step == nullptr) return false;
    const PlugParamList* map = fieldMapOf(step);
    const int count = map == nullptr ? 0 : map->count();
    for (int i = 0; i < count; ++i) {
        QxbString upstreamName, outputName;
        if (!parseFieldMapEntry(map->getEntry(i), &upstreamName, &outputName)) {
            reportBadEntry(step, map->getEntry(i));
            return false;
        }
        step->addInputName(upstreamName, 0);
    }
    return true;
}

StepOutputItems* buildOutputInfoFromFieldMap(PlugStep* step, int outputCount, unsigned /*flags*/,
                                             int* fieldMapIndexes) {
    if (step == nullptr || outputCount < 0) return nullptr;
    const PlugParamList* map = fieldMapOf(step);
    const int passThrough = map == nullptr ? 0 : map->count();
    const StepOutputItems* upstream = step->getInputItems(0);
    if (passThrough > 0 && (upstream == nullptr || fieldMapIndexes == nullptr)) {
        step->reportError(QxbString("Field map given but the step has no upstream step"));
        return nullptr;
    }
    StepOutputItems* items = step->allocOutputItems(passThrough + outputCount);
    if (items == nullptr) return nullptr;
    for (int i = 0; i < passThrough; ++i)
        if (!describePassThrough(step, upstream, items, i, map->getEntry(i), &fieldMapIndexes[i]))
            return nullptr;
    return items;
}

int findOutputItemByName(const StepOutputItems* items, const QxbString& name) {
    if (items == nullptr) return -1;
    for (int i = 0; i < items->getCount(); ++i)
        if (items->getName(i).compare(name, true) == 0 && !items->getName(i).isNull()) return i;
    return -1;
}
