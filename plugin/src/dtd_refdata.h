// The discovery lists of the plug-in: the domains of the job's repository
// (DTD_RefDataDomainList) and its domains with versions (DTD_RefDataItemList).
#pragma once

#include "RefData.h"
#include "RefDataCursor.h"
#include "dataflow.h"

// What both lists share: the session on the job's repository and the copy of
// chosen cursor columns into the sink.
class RefDataDiscovery : public PlugDiscovery {
public:
    bool initialize() override { return true; }
    bool configure(int, int) override { return true; }
    bool fill(PlugDiscoverySink* sink, QxbString* errorOut) override;
    void destroy() override { delete this; }

protected:
    RefDataDiscovery(PlugStep* step, const int* columns, int columnCount)
        : step_(step), columns_(columns), columnCount_(columnCount) {}
    ~RefDataDiscovery() override {}
    // The list's query; null with the reason in the handle.
    virtual RefDataCursor* query(RefDataViewer* viewer, RefDataHandle* handle) = 0;

private:
    PlugStep* step_;
    const int* columns_;
    int columnCount_;
};

class DTD_RefDataDomainList : public RefDataDiscovery {
public:
    explicit DTD_RefDataDomainList(PlugStep* step);

protected:
    RefDataCursor* query(RefDataViewer* viewer, RefDataHandle* handle) override;
};

class DTD_RefDataItemList : public RefDataDiscovery {
public:
    explicit DTD_RefDataItemList(PlugStep* step);

protected:
    RefDataCursor* query(RefDataViewer* viewer, RefDataHandle* handle) override;
};
