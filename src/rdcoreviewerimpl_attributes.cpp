// RefDataViewerImpl: the attributes of a repository or of a domain's newest
// version (RefDataViewerEx::getAttributes), assembled into a cache cursor.
#include <algorithm>
#include <functional>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "RefDataHandle.h"
#include "rdcorecommon.h"
#include "rdcorecursorimpl.h"
#include "rdcoreviewerimpl.h"
#include "repadm.h"

using rdcore::Owned;

namespace {

constexpr unsigned kAny = static_cast<unsigned>(-1);
constexpr int kMsgDomainNotFound = 1823;

struct AttributeLine {
    int id = 0;
    QxbString name, label, type, context;
};

}  // namespace

bool RefDataViewerImpl::walkListing(RefDataHandle* handle, StoreResultSet* rows,
                                    const std::function<void(StoreResultSet&)>& read) {
    if (rows == nullptr) {
        reportStoreError(handle, handle->queryStore, __FILE__, __LINE__);
        return false;
    }
    Owned<StoreResultSet> owned(rows);
    int answer = 0;
    while ((answer = owned->next()) == 1) read(*owned);
    if (answer == 0) return true;
    reportStoreError(handle, handle->queryStore, __FILE__, __LINE__);
    return false;
}

RefDataCursor* RefDataViewerImpl::getAttributes(RefDataHandle* handle, int domainId) {
    if (handle == nullptr || !hasQueryStore(handle, __FILE__, __LINE__)) return nullptr;
    RefDataStore* store = handle->queryStore;
    const QxbString none;
    const QxbDate noDate;
    try {
        std::unordered_set<int> wanted;
        if (domainId != -1) {
            const unsigned domain = static_cast<unsigned>(domainId);
            bool found = false;
            if (!walkListing(handle, store->listDomains(domain, none, none, none, none, none, none, kAny, none, kAny, kAny, noDate,
                                         none, noDate),
                      [&](StoreResultSet&) { found = true; }))
                return nullptr;
            if (!found) {
                reportError(handle, __FILE__, __LINE__,
                            qxb_get_message(__FILE__, __LINE__, rdcore::kModule, kMsgDomainNotFound, ""));
                return nullptr;
            }
            int newestNumber = 0;
            unsigned newest = kAny;
            std::unordered_map<int, int> attributeOf;  // domain attribute -> attribute
            std::vector<int> used;
            const bool read =
                walkListing(handle, store->listDomainVersions(kAny, domain, kAny, none, none, none, none, kAny, none, kAny, noDate,
                                               noDate),
                     [&](StoreResultSet& row) {
                         if (newest != kAny && row.getInt(2) < newestNumber) return;
                         newestNumber = row.getInt(2);
                         newest = static_cast<unsigned>(row.getInt(0));
                     }) &&
                walkListing(handle, store->listDomainAttributes(kAny, domain, kAny),
                     [&](StoreResultSet& row) { attributeOf.emplace(row.getInt(0), row.getInt(2)); });
            if (!read) return nullptr;
            if (newest != kAny &&
                !walkListing(handle, store->listVersionAttributes(domain, kAny, newest, none),
                      [&](StoreResultSet& row) { used.push_back(row.getInt(1)); }))
                return nullptr;
            for (const int domainAttribute : used) {
                const auto found = attributeOf.find(domainAttribute);
                if (found != attributeOf.end()) wanted.insert(found->second);
            }
        }
        std::unordered_map<int, QxbString> contexts;
        std::vector<AttributeLine> lines;
        const bool listed =
            walkListing(handle, store->listAttributeContexts(kAny, none, none),
                 [&](StoreResultSet& row) { contexts.emplace(row.getInt(0), row.getString(1)); }) &&
            walkListing(handle, store->listAttributes(kAny, none, none), [&](StoreResultSet& row) {
                AttributeLine line;
                line.id = row.getInt(0);
                if (domainId != -1 && wanted.count(line.id) == 0) return;
                line.name = row.getString(3);
                line.label = row.getString(4);
                line.type = row.getString(5);
                const auto context = contexts.find(row.getInt(2));
                if (context != contexts.end()) line.context = context->second;
                lines.push_back(line);
            });
        if (!listed) return nullptr;
        std::stable_sort(lines.begin(), lines.end(), [](const AttributeLine& a, const AttributeLine& b) {
            return a.name.str() < b.name.str();
        });

        RefDataCacheCursorImpl* cursor = newCacheCursor(handle, 5);
        if (cursor == nullptr) return nullptr;
        Owned<RefDataCacheCursorImpl> owned(cursor);
        const char* const names[] = {"ID", "NAME", "LABEL", "TYPE", "CONTEXT"};
        for (int column = 0; column < 5; ++column) owned->setColumnName(column, names[column]);
        for (const AttributeLine& line : lines) {
            if (owned->addRow() == 0) throw std::bad_alloc();
            QxbDatavar value;
            value.assign(line.id);
            owned->setValue(0, value);
            const QxbString* texts[] = {&line.name, &line.label, &line.type, &line.context};
            for (int column = 1; column < 5; ++column) {
                value.assign(*texts[column - 1]);
                owned->setValue(column, value);
            }
        }
        owned->rewind();
        return owned.release();
    } catch (const std::bad_alloc&) {
        reportMessage(handle, __FILE__, __LINE__, rdcore::kMsgOutOfMemory);
        return nullptr;
    }
}
