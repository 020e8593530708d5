// Life of the administration layer's domain edit session.
#include "rdcoreeditsession.h"

void destroyDomainEditSession(DomainEditSession* session) {
    delete session;
}
