// The plug-in's factory with its table of step types, its one export, and
// the discovery lists of domains and of domains with versions.
#include "dtd_refdata.h"

#include <new>

#include "RefDataViewer.h"
#include "dts_refdatadomainlist.h"
#include "dts_refdataitemlist.h"

#define RDP_EXPORT __attribute__((visibility("default")))

namespace {

const char* const kCategory = "di_dataflow";
constexpr int kCategoryKind = 2;

struct StepType {
    const char* name;
    const char* displayName;
    StepCreator create;
};

const StepType kStepTypes[] = {
    {"RDM_DOMAIN_LIST", "List Reference Data Domains", createDomainListStep},
    {"RDM_ITEM_LIST", "List Reference Data Domain Items", createItemListStep},
};
constexpr int kStepTypeCount = static_cast<int>(sizeof kStepTypes / sizeof kStepTypes[0]);

const StepType* stepType(int index) {
    return index >= 0 && index < kStepTypeCount ? &kStepTypes[index] : nullptr;
}

// Discovery columns: cursor column copied into sink column i.
const int kDomainListColumns[] = {0, 1, 2};
const int kItemListColumns[] = {0, 1, 2, 4, 5};

// The session of one fill, released on every path.
struct SessionGuard {
    RefData* session = nullptr;
    RefDataHandle* handle = nullptr;
    ~SessionGuard() {
        if (session != nullptr) session->release(&handle);
    }
};

struct CursorGuard {
    RefDataCursor* cursor;
    ~CursorGuard() {
        if (cursor != nullptr) cursor->release();
    }
};

// RefDataCursor::next answers.
constexpr int kRowCurrent = 0;
constexpr int kNoMoreRows = 1;

// True when the repository answers a domain listing without a row; false
// also when that listing fails, so that a store failure stays a failure.
bool holdsNoDomain(RefDataViewer* viewer, RefDataHandle* handle) {
    CursorGuard domains{viewer->getDomainWithDetails(handle, -1, false)};
    return domains.cursor != nullptr && domains.cursor->next() == kNoMoreRows;
}

class RefDataPluginFactory : public StepPluginFactory {
public:
    int getVersion() override { return 2; }
    int getStepTypeCount() override { return kStepTypeCount; }
    StepCreator getStepCreator(int index) override {
        return stepType(index) ? stepType(index)->create : nullptr;
    }
    QxbString getStepName(int index) override {
        return stepType(index) ? QxbString(stepType(index)->name) : QxbString();
    }
    QxbString getStepDisplayName(int index) override {
        return stepType(index) ? QxbString(stepType(index)->displayName) : QxbString();
    }
    bool getStepOption(int, int) override { return false; }
    bool getStepAttribute(int, int, QxbString*) override { return false; }
    void destroy() override { delete this; }
    int getFlags() override { return 0; }
    QxbString getStepHelp(int) override { return QxbString(""); }
    int getStepIcon(int) override { return 0; }
    bool getStepCategory(int, int subIndex, QxbString* category, int* kind) override {
        if (subIndex > 0) return false;
        category->assign(kCategory);
        *kind = kCategoryKind;
        return true;
    }
};

}  // namespace

bool RefDataDiscovery::fill(PlugDiscoverySink* sink, QxbString* errorOut) {
    const QxbString repository = step_->getVariables()->getVariable(QxbString("_CURRENT_REPOSITORY"), QxbString(""));
    if (repository.length() == 0) {
        *errorOut = qxb_get_message(__FILE__, __LINE__, "Monitor Plugin", 1363);
        return false;
    }
    SessionGuard guard;
    guard.session = createReferenceDataSession(0, errorOut);
    if (guard.session == nullptr) return false;
    if (!guard.session->open(&guard.handle, repository, errorOut)) return false;
    RefDataViewer* viewer = guard.session->getViewer(guard.handle);
    if (viewer == nullptr) {
        step_->reportError(guard.session->getErrorText(guard.handle));
        return false;
    }
    CursorGuard rows{query(viewer, guard.handle)};
    if (rows.cursor == nullptr) {
        *errorOut = guard.session->getErrorText(guard.handle);
        // Both queries answer "not found" on a repository without domains,
        // where the list is simply empty.
        if (!holdsNoDomain(viewer, guard.handle)) return false;
        errorOut->setNull();
        sink->setColumnCount(columnCount_);
        return true;
    }
    sink->setColumnCount(columnCount_);
    int answer = 0;
    while ((answer = rows.cursor->next()) == kRowCurrent) {
        for (int i = 0; i < columnCount_; ++i) {
            QxbDatavar value;
            value.assign(rows.cursor->getString(columns_[i]));
            sink->setColumnValue(i, value);
        }
        sink->endRow();
    }
    if (answer == kNoMoreRows) return true;
    *errorOut = guard.session->getErrorText(guard.handle);  // the walk failed midway
    return false;
}

DTD_RefDataDomainList::DTD_RefDataDomainList(PlugStep* step)
    : RefDataDiscovery(step, kDomainListColumns, static_cast<int>(sizeof kDomainListColumns / sizeof(int))) {}

RefDataCursor* DTD_RefDataDomainList::query(RefDataViewer* viewer, RefDataHandle* handle) {
    return viewer->getDomain(handle, -1, QxbString());
}

DTD_RefDataItemList::DTD_RefDataItemList(PlugStep* step)
    : RefDataDiscovery(step, kItemListColumns, static_cast<int>(sizeof kItemListColumns / sizeof(int))) {}

RefDataCursor* DTD_RefDataItemList::query(RefDataViewer* viewer, RefDataHandle* handle) {
    return viewer->getDomainWithDetails(handle, QxbString(), false);
}

extern "C" RDP_EXPORT StepPluginFactory* step_create_factory11() {
    return new (std::nothrow) RefDataPluginFactory();
}
