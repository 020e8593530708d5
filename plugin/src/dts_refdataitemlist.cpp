// DTS_RefDataDomainItemList, the step "RDM_ITEM_LIST": the items of a domain
// at a version, the domain and the version each fixed or from upstream rows.
#include "dts_refdataitemlist.h"

#include <new>

#include "dtd_refdata.h"
#include "qxphlp.h"

namespace {

const char* const kNoParentNode = "Filter field specified but no parent node found";
constexpr int kFailed = 2;

// Output field i is cursor column i.
const StepFieldSpec kItemFields[] = {
    {"ID", QXB_TYPE_INT, 0},
    {"ITEM_KEY", QXB_TYPE_STRING, 255},
    {"ITEM_LABEL", QXB_TYPE_STRING, 255},
    {"PARENT_ID", QXB_TYPE_INT, 0},
    {"ATTRIBUTE_VALUE", QXB_TYPE_STRING, 255},
    {"ATTRIBUTE_NAME", QXB_TYPE_STRING, 255},
    {"ATTRIBUTE_DESCRIPTION", QXB_TYPE_STRING, 255},
    {"LANGUAGE", QXB_TYPE_STRING, 255},
    {"DOMAIN", QXB_TYPE_STRING, 255},
    {"DOMAIN_VERSION", QXB_TYPE_INT, 0},
};

void declareText(PlugParamSet* params, const char* name, const char* defaultValue) {
    params->declareParam(QxbString(name), QXB_TYPE_STRING);
    if (defaultValue == nullptr) return;
    QxbDatavar value;
    value.assign(defaultValue);
    params->setParamDefault(QxbString(name), value);
}

}  // namespace

DTS_RefDataDomainItemList::DTS_RefDataDomainItemList()
    : RefDataListStep(kItemFields, static_cast<int>(sizeof kItemFields / sizeof kItemFields[0])) {}

void DTS_RefDataDomainItemList::declareParameters(PlugParamSet* params) {
    domainFieldIndex = -1;
    declareText(params, "DOM_TYPE", "value");
    declareText(params, "DOM_VAL", nullptr);
    declareText(params, "VER_TYPE", "value");
    declareText(params, "VER_VAL", nullptr);
}

bool DTS_RefDataDomainItemList::readParameters(const PlugParams* params) {
    domainType = params->getParam(QxbString("DOM_TYPE")).asString();
    versionType = params->getParam(QxbString("VER_TYPE")).asString();
    domainValue = params->getParam(QxbString("DOM_VAL")).asString();
    versionValue = params->getParam(QxbString("VER_VAL")).asString();
    return domainFromField() || versionFromField();
}

void DTS_RefDataDomainItemList::addInputNames() {
    if (domainFromField() && domainValue.length() > 0) step->addInputName(domainValue, 0);
    if (versionFromField() && versionValue.length() > 0) step->addInputName(versionValue, 0);
}

bool DTS_RefDataDomainItemList::resolveField(const StepOutputItems* items, const QxbString& name,
                                              int* index) {
    if (items == nullptr) {
        reportText(kNoParentNode);
        return false;
    }
    *index = findOutputItemByName(items, name);
    if (*index == -1) {
        reportMessage(__FILE__, __LINE__, 404);
        return false;
    }
    return true;
}

bool DTS_RefDataDomainItemList::resolveInputFields(const StepOutputItems* items) {
    if (domainFromField() && !resolveField(items, domainValue, &domainFieldIndex)) return false;
    if (versionFromField() && !resolveField(items, versionValue, &versionFieldIndex)) return false;
    return true;
}

int DTS_RefDataDomainItemList::readField(const StepRow* row, int index, QxbString* value) {
    const QxbDatavar* held = row == nullptr ? nullptr : row->getSlot(index);
    if (held == nullptr || held->isNull()) {
        reportMessage(__FILE__, __LINE__, 923);
        done = true;
        return kFailed;
    }
    *value = held->asString();
    return 0;
}

int DTS_RefDataDomainItemList::readUpstreamValues(const StepRow* row) {
    if (domainFromField()) {
        const int answer = readField(row, domainFieldIndex, &domainValue);
        if (answer != 0) return answer;
    }
    if (versionFromField()) return readField(row, versionFieldIndex, &versionValue);
    return 0;
}

RefDataCursor* DTS_RefDataDomainItemList::openCursor() {
    // No version: -1. A conversion answering -1 asks for the newest (0).
    int version = -1;
    if (!versionValue.isNull()) {
        version = versionValue.asInt();
        if (version == -1) version = 0;
    }
    return viewer->getDomainItemsWithAttributes(handle, domainValue, version);
}

void DTS_RefDataDomainItemList::fillRow(StepRow* row, int firstSlot) {
    for (int i = 0; i < outputFieldCount; ++i) copyValue(row, firstSlot + i, cursor->getValue(i));
}

PlugDiscovery* DTS_RefDataDomainItemList::createDiscovery(PlugStep* forStep) {
    return new (std::nothrow) DTD_RefDataItemList(forStep != nullptr ? forStep : step);
}

StepPluginStep* createItemListStep() { return new (std::nothrow) DTS_RefDataDomainItemList(); }
