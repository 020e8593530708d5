// DTS_RefDataDomainList: the step "RDM_DOMAIN_LIST", one output row per
// domain the job's repository answers for a name.
#pragma once

#include "dts_refdatastep.h"

class DTS_RefDataDomainList : public RefDataListStep {
public:
    DTS_RefDataDomainList();
    PlugDiscovery* createDiscovery(PlugStep* forStep) override;

protected:
    ~DTS_RefDataDomainList() override {}
    void declareParameters(PlugParamSet* params) override;
    bool readParameters(const PlugParams* params) override;
    void addInputNames() override;
    bool resolveInputFields(const StepOutputItems* items) override;
    int readUpstreamValues(const StepRow* row) override;
    RefDataCursor* openCursor() override;
    void fillRow(StepRow* row, int firstSlot) override;
    bool plainStatus() const override { return fieldMode(); }

private:
    bool fieldMode() const { return inputType.compare("field", true) == 0; }
    QxbString inputType;
    QxbString inputValue;
    int inputFieldIndex = -1;
    bool current = true;
};

// Creates the step (null when it cannot be allocated).
StepPluginStep* createDomainListStep();
