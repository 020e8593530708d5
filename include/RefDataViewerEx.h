// RefDataViewerEx: the queries a caller needs beyond RefDataViewer, appended
// after its last slot so that a caller built against RefDataViewer keeps
// working. Reached through RefData::getViewerEx; the object is the handle's
// query object. Conventions as in RefDataViewer: a cursor, or null with the
// reason in the handle's error text and the log.
#pragma once

#include "RefDataViewer.h"

class RefDataViewerEx : public RefDataViewer {
public:
    // The attributes of the repository (domainId -1), or those the domain's
    // newest version uses, ordered by name: "ID", "NAME", "LABEL", "TYPE",
    // "CONTEXT". A domain without versions has none; an unknown domain id:
    // message 1823.
    virtual RefDataCursor* getAttributes(RefDataHandle* handle, int domainId) = 0;
};
