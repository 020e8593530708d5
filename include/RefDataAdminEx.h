// RefDataAdminEx: the writes a caller needs beyond RefDataAdmin, appended
// after its last slot so that a caller built against RefDataAdmin keeps
// working. Reached through RefData::getAdminEx; the object is the handle's
// administration object. Conventions as in RefDataAdmin: true on success,
// the reason in the handle's error text and the log on failure.
#pragma once

#include "RefDataAdmin.h"

class RefDataAdminEx : public RefDataAdmin {
public:
    // Copies a domain as copyDomain does, under a name of its own, in one
    // transaction: the name is chosen, the copy written and recorded, or
    // nothing is. A null or empty name takes "NAME copy N" with the smallest
    // N no domain has; a name a domain has already is refused (1509). The
    // chosen name goes to *nameOut and the new id to *newDomainIdOut, each
    // when not null and only on success.
    virtual bool copyDomainAs(RefDataHandle* handle, unsigned sourceDomainId, const QxbString& name,
                              unsigned accountId, unsigned* newDomainIdOut, QxbString* nameOut) = 0;
};
