// Shared pieces of the rdm command line.
#include "rdm.h"

#include <cstdio>

#include "RefData.h"

namespace rdm {

int fail(const std::string& text) {
    std::fprintf(stderr, "rdm: %s\n", text.empty() ? "the operation failed (no reason given)" : text.c_str());
    return kFailed;
}

int fail(const QxbString& text) { return fail(text.str()); }

RepositorySession::~RepositorySession() {
    if (session_ != nullptr) session_->release(&handle_);
}

bool RepositorySession::open(const std::string& repository, QxbString* error) {
    session_ = createReferenceDataSession(0, error);
    if (session_ == nullptr) return false;
    return session_->open(&handle_, QxbString(repository), error);
}

RefDataViewer* RepositorySession::viewer() { return session_->getViewer(handle_); }
RefDataAdmin* RepositorySession::admin() { return session_->getAdmin(handle_); }
QxbString RepositorySession::errorText() { return session_->getErrorText(handle_); }

}  // namespace rdm
