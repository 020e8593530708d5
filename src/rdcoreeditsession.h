// DomainEditSession: the administration layer's in-memory edit of one domain,
// held by a handle between beginNewDomain/beginNewDomainVersion and
// endDomainEdit/cancelDomainEdit.
#pragma once

struct DomainEditSession {
    // The records of the edited domain arrive with the edit operations.
};

// Frees the session with everything it owns; nothing for null.
void destroyDomainEditSession(DomainEditSession* session);
