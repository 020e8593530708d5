// DTS_RefDataDomainItemList: the step "RDM_ITEM_LIST", one output row per
// item and attribute value of a domain at a version.
#pragma once

#include "dts_refdatastep.h"

class DTS_RefDataDomainItemList : public RefDataListStep {
public:
    DTS_RefDataDomainItemList();
    PlugDiscovery* createDiscovery(PlugStep* forStep) override;

protected:
    ~DTS_RefDataDomainItemList() override {}
    void declareParameters(PlugParamSet* params) override;
    bool readParameters(const PlugParams* params) override;
    void addInputNames() override;
    bool resolveInputFields(const StepOutputItems* items) override;
    int readUpstreamValues(const StepRow* row) override;
    RefDataCursor* openCursor() override;
    void fillRow(StepRow* row, int firstSlot) override;
    bool plainStatus() const override { return domainFromField() || versionFromField(); }

private:
    bool domainFromField() const { return domainType.compare("field", true) == 0; }
    bool versionFromField() const { return versionType.compare("field", true) == 0; }
    bool resolveField(const StepOutputItems* items, const QxbString& name, int* index);
    int readField(const StepRow* row, int index, QxbString* value);
    QxbString domainType;
    QxbString domainValue;
    int domainFieldIndex = -1;
    QxbString versionType;
    QxbString versionValue;
    int versionFieldIndex = -1;
};

// Creates the step (null when it cannot be allocated).
StepPluginStep* createItemListStep();
