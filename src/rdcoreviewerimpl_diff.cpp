// RefDataViewerImpl: what changed between two versions of a domain
// (RefDataViewerEx::getVersionDiff): the versions are chosen here, and the
// cursor merges their content in key order as it is read.
#include <functional>
#include <map>
#include <new>

#include "RefDataHandle.h"
#include "rdcorecommon.h"
#include "rdcorediffcursor.h"
#include "rdcoreviewerimpl.h"
#include "repadm.h"

using rdcore::Owned;

namespace {

constexpr unsigned kAny = static_cast<unsigned>(-1);
constexpr int kMsgDomainNotFound = 1823;
constexpr int kMsgVersionNotFound = 1824;

}  // namespace

RefDataCursor* RefDataViewerImpl::getVersionDiff(RefDataHandle* handle, int domainId, int fromNumber, int toNumber) {
    if (handle == nullptr || !hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    RefDataStore* store = handle->queryStore;
    const QxbString none;
    const QxbDate noDate;
    try {
        if (domainId == -1) {
            reportError(handle, __FILE__, __LINE__,
                        qxb_get_message(__FILE__, __LINE__, rdcore::kModule, kMsgDomainNotFound, " [-1]"));
            return nullptr;
        }
        const unsigned domain = static_cast<unsigned>(domainId);
        QxbString name;
        bool found = false;
        std::map<int, unsigned> versions;  // number -> id
        if (!walkListing(handle, store->listDomains(domain, none, none, none, none, none, none, kAny, none, kAny, kAny, noDate, none,
                                     noDate),
                  [&](StoreResultSet& row) {
                      found = true;
                      name = row.getString(1);
                  }))
            return nullptr;
        if (!found) {
            reportError(handle, __FILE__, __LINE__,
                        qxb_get_message(__FILE__, __LINE__, rdcore::kModule, kMsgDomainNotFound, ""));
            return nullptr;
        }
        if (!walkListing(handle, store->listDomainVersions(kAny, domain, kAny, none, none, none, none, kAny, none, kAny, noDate,
                                            noDate),
                  [&](StoreResultSet& row) {
                      versions.emplace(row.getInt(2), static_cast<unsigned>(row.getInt(0)));
                  }))
            return nullptr;
        auto missing = [&](const QxbString& number) {
            reportError(handle, __FILE__, __LINE__,
                        qxb_get_message(__FILE__, __LINE__, rdcore::kModule, kMsgVersionNotFound, name, number));
            return nullptr;
        };
        auto numberText = [](int value) {
            QxbString text;
            text.assign(value);
            return text;
        };
        if (toNumber == 0 && versions.empty()) return missing("any");
        const int to = toNumber == 0 ? versions.rbegin()->first : toNumber;
        const auto toVersion = versions.find(to);
        if (toVersion == versions.end()) return missing(numberText(to));
        auto fromVersion = versions.end();
        if (fromNumber == 0) {
            if (toVersion == versions.begin()) return missing(qxbStringFormat("before %d", to));
            fromVersion = std::prev(toVersion);
        } else {
            fromVersion = versions.find(fromNumber);
            if (fromVersion == versions.end()) return missing(numberText(fromNumber));
        }
        StoreResultSet* fromRows = store->listVersionContentByKey(fromVersion->second);
        if (fromRows == nullptr) {
            reportStoreError(handle, store, __FILE__, __LINE__);
            return nullptr;
        }
        StoreResultSet* toRows = store->listVersionContentByKey(toVersion->second);
        if (toRows == nullptr) {
            reportStoreError(handle, store, __FILE__, __LINE__);
            fromRows->release();
            return nullptr;
        }
        VersionDiffCursor* cursor = new (std::nothrow) VersionDiffCursor(fromRows, toRows);
        if (cursor == nullptr) {
            fromRows->release();
            toRows->release();
            reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        }
        return cursor;
    } catch (const std::bad_alloc&) {
        reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        return nullptr;
    }
}
