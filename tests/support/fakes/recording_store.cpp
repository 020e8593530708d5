// The recording fake store and its result sets.
#include "recording_store.h"

#include <utility>

namespace fakes {

// ---------------------------------------------------------------------------
// Scripted rows and result sets

FakeRows::FakeRows(std::vector<std::string> columnNames,
                   std::initializer_list<std::initializer_list<Cell>> cells)
    : columns(std::move(columnNames)) {
    for (const auto& rowCells : cells) {
        std::vector<QxbDatavar> row;
        for (const Cell& cell : rowCells) row.push_back(cell.value_);
        rows.push_back(std::move(row));
    }
}

FakeResultSet::FakeResultSet(std::string label, FakeRows rows)
    : label_(std::move(label)), data_(std::move(rows)) {
    noteCreated(label_);
}

int FakeResultSet::next() {
    if (row_ + 1 == data_.errorAtRow) return -1;
    if (row_ < static_cast<int>(data_.rows.size())) ++row_;
    return row_ < static_cast<int>(data_.rows.size()) ? 1 : 0;
}

int FakeResultSet::getColumnCount() {
    return static_cast<int>(data_.columns.size());
}

QxbString FakeResultSet::getColumnName(int column) {
    if (column < 0 || column >= getColumnCount()) return QxbString();
    return QxbString(data_.columns[static_cast<std::size_t>(column)]);
}

const QxbDatavar* FakeResultSet::cell(int column) const {
    if (row_ < 0 || row_ >= static_cast<int>(data_.rows.size())) return nullptr;
    const auto& row = data_.rows[static_cast<std::size_t>(row_)];
    if (column < 0 || column >= static_cast<int>(row.size())) return nullptr;
    return &row[static_cast<std::size_t>(column)];
}

QxbString FakeResultSet::getString(int column) {
    const QxbDatavar* value = cell(column);
    return value != nullptr ? value->asString() : QxbString();
}

int FakeResultSet::getInt(int column) {
    const QxbDatavar* value = cell(column);
    return value != nullptr ? value->asInt() : 0;
}

double FakeResultSet::getDouble(int column) {
    const QxbDatavar* value = cell(column);
    return value != nullptr ? value->asDouble() : 0.0;
}

bool FakeResultSet::isNull(int column) {
    const QxbDatavar* value = cell(column);
    return value == nullptr || value->isNull();
}

QxbDatavar FakeResultSet::getValue(int column) {
    const QxbDatavar* value = cell(column);
    return value != nullptr ? *value : QxbDatavar();
}

void FakeResultSet::release() {
    callLog().add(label_ + ".release()");
    noteReleased(label_);
    delete this;
}

// ---------------------------------------------------------------------------
// Argument formatting

std::string argText(unsigned value) {
    return value == static_cast<unsigned>(-1) ? "-1" : std::to_string(value);
}
std::string argText(int value) {
    return std::to_string(value);
}
std::string argText(bool value) {
    return value ? "true" : "false";
}
std::string argText(const QxbString& value) {
    return value.isNull() ? "null" : "'" + value.str() + "'";
}
std::string argText(const QxbString* value) {
    return value != nullptr ? argText(*value) : "null";
}
std::string argText(const QxbDate& value) {
    return value.isNull() ? "null" : "date:" + value.toString().str();
}
std::string argText(const QxbDate* value) {
    return value != nullptr ? argText(*value) : "null";
}
std::string argText(unsigned* out) {
    return out != nullptr ? "&" : "null";
}
std::string argText(const unsigned* value) {
    return value != nullptr ? argText(*value) : "null";
}
std::string argText(const void* pointer) {
    return pointer != nullptr ? "ptr" : "null";
}
std::string argText(const QxbDatavar& value) {
    if (value.type() == QXB_TYPE_STRING) return argText(value.asString());
    if (value.isNull()) return "null";
    return value.asString().str();
}

// ---------------------------------------------------------------------------
// RecordingStore: recording, scripting and failing

RecordingStore::RecordingStore(std::string label) : label_(std::move(label)) {
    noteCreated(label_);
}

void RecordingStore::answer(const std::string& operation, FakeRows rows) {
    answers_[operation].push_back(std::move(rows));
}

void RecordingStore::record(const std::string& call) {
    calls_.push_back(call);
    callLog().add(label_ + "." + call);
}

bool RecordingStore::enter(const char* operation, const std::string& arguments) {
    record(operation + arguments);
    bool fail = failCountdown_ > 0 && --failCountdown_ == 0;
    auto found = failing_.find(operation);
    if (found != failing_.end() && found->second > 0 && --found->second == 0) fail = true;
    if (fail) lastError_ = storeFailureText(label_, operation);
    return fail;
}

StoreResultSet* RecordingStore::listing(const char* operation, const std::string& arguments) {
    if (enter(operation, arguments)) return nullptr;
    FakeRows rows;
    auto queued = answers_.find(operation);
    if (queued != answers_.end() && !queued->second.empty()) {
        rows = std::move(queued->second.front());
        queued->second.pop_front();
    }
    const auto rowFailure = rowFailures_.find(operation);
    if (rowFailure != rowFailures_.end()) {
        rows.errorAtRow = rowFailure->second;
        rowFailures_.erase(rowFailure);
    }
    return new FakeResultSet(label_ + "." + operation, std::move(rows));
}

bool RecordingStore::write(const char* operation, const std::string& arguments, unsigned* newId) {
    if (enter(operation, arguments)) return false;
    const unsigned id = nextId_++;
    if (newId != nullptr) *newId = id;
    return true;
}

bool RecordingStore::act(const char* operation, const std::string& arguments) {
    return !enter(operation, arguments);
}

// ---------------------------------------------------------------------------
// RecordingStore: every operation of the store

namespace {

class RecordingStoreImpl final : public RecordingStore {
public:
    explicit RecordingStoreImpl(const std::string& label) : RecordingStore(label) {}

    bool beginTransaction(int reserved1, int reserved2) override {
        return act(__func__, argList(reserved1, reserved2));
    }
    bool endTransaction(bool commit) override { return act(__func__, argList(commit)); }
    QxbString getLastError() override {
        record("getLastError()");
        return QxbString(lastError_);
    }
    void release() override {
        record("release()");
        noteReleased(label_);
        delete this;
    }
    bool writeRow(const QxbString* text, unsigned* textIdOut, unsigned languageId,
                  unsigned valueId, const unsigned* versionId, const void* reserved1,
                  const void* reserved2) override {
        return write(__func__,
                     argList(text, textIdOut, languageId, valueId, versionId, reserved1, reserved2),
                     textIdOut);
    }
    bool prepareQuery(int kind) override { return act(__func__, argList(kind)); }
    bool bindParameter(int index, const QxbDatavar& value) override {
        return act(__func__, argList(index, value));
    }
    StoreResultSet* executeQuery() override { return listing(__func__, "()"); }

    bool insertAccount(const QxbString& name, const QxbString& type, const QxbString& key,
                       const QxbString& text, const QxbString& text5, const QxbString& text6,
                       const QxbString& text7, unsigned roleId, unsigned* newId) override {
        return write(__func__, argList(name, type, key, text, text5, text6, text7, roleId,
            newId), newId);
    }
    bool insertAttribute(const QxbString& name, const QxbString& label, unsigned typeId,
                         const QxbString& typeName, unsigned contextId, unsigned languageId,
                         unsigned accountId, const QxbString& note, unsigned* newId) override {
        return write(__func__, argList(name, label, typeId, typeName, contextId, languageId,
            accountId, note, newId), newId);
    }
    bool insertItem(const QxbString& key, const QxbString& text, const QxbString& flag1,
                    const QxbString& flag2, const QxbString& text2, unsigned accountId,
                    unsigned* newId) override {
        return write(__func__, argList(key, text, flag1, flag2, text2, accountId, newId), newId);
    }
    bool insertDomain(const QxbString& name, const QxbString& description, const QxbString& text1,
                      const QxbString& flag1, const QxbString& flag2, const QxbString& scope,
                      int number1, const QxbString& text8, unsigned accountId, int number10,
                      const QxbDate& date11, const QxbString& kindCode, unsigned* newId) override {
        return write(__func__, argList(name, description, text1, flag1, flag2, scope, number1,
            text8, accountId, number10, date11, kindCode, newId), newId);
    }
    bool insertDomainVersion(unsigned domainId, int number, const QxbString& label,
                             const QxbString& flag1, const QxbString& flag2, const QxbString& text,
                             unsigned accountId, const QxbString& flag8, int number9,
                             const QxbDate& date10, unsigned* newId) override {
        return write(__func__, argList(domainId, number, label, flag1, flag2, text, accountId,
            flag8, number9, date10, newId), newId);
    }
    bool writeChangeRecord(unsigned domainId, const QxbString& status, unsigned objectId,
                           const QxbString& tableCode, const QxbString& description,
                           unsigned languageId, unsigned accountId, const QxbDate* date) override {
        return act(__func__, argList(domainId, status, objectId, tableCode, description, languageId,
            accountId, date));
    }
    bool insertVersionLanguage(unsigned versionId, unsigned domainLanguageId,
                               unsigned* newId) override {
        return write(__func__, argList(versionId, domainLanguageId, newId), newId);
    }
    bool insertVersionAttribute(unsigned domainId, unsigned domainAttributeId, unsigned versionId,
                                const QxbString& flag, unsigned* newId) override {
        return write(__func__, argList(domainId, domainAttributeId, versionId, flag, newId), newId);
    }
    bool insertVersionValue(unsigned versionId, unsigned domainAttributeValueId,
                            unsigned* newId) override {
        return write(__func__, argList(versionId, domainAttributeValueId, newId), newId);
    }
    bool insertVersionItem(unsigned versionId, unsigned itemId, int number, const QxbString& text,
                           unsigned parentItemId, const QxbDate* date, unsigned* newId) override {
        return write(__func__, argList(versionId, itemId, number, text, parentItemId, date,
            newId), newId);
    }
    bool insertVersionItemValue(unsigned versionId, unsigned itemAttributeValueId,
                                unsigned* newId) override {
        return write(__func__, argList(versionId, itemAttributeValueId, newId), newId);
    }
    bool insertVersionItemValueLink(unsigned versionId, unsigned localizedTextId,
                                    unsigned itemAttributeValueId, unsigned* newId) override {
        return write(__func__, argList(versionId, localizedTextId, itemAttributeValueId,
            newId), newId);
    }
    StoreResultSet* listAccounts(unsigned id, const QxbString& name, const QxbString& type,
                                 const QxbString& key, const QxbString& text,
                                 const QxbString& text5, const QxbString& text6) override {
        return listing(__func__, argList(id, name, type, key, text, text5, text6));
    }
    StoreResultSet* listAttributes(unsigned id, const QxbString& name,
                                   const QxbString& label) override {
        return listing(__func__, argList(id, name, label));
    }
    StoreResultSet* listA(unsigned id, const QxbString& name, const QxbString& text) override {
        return listing(__func__, argList(id, name, text));
    }
    StoreResultSet* listAttributeContexts(unsigned id, const QxbString& name,
                                          const QxbString& text) override {
        return listing(__func__, argList(id, name, text));
    }
    StoreResultSet* listAttributeTypes(unsigned id, const QxbString& name,
                                       const QxbString& text) override {
        return listing(__func__, argList(id, name, text));
    }
    StoreResultSet* listLanguages(unsigned id, const QxbString& name,
                                  const QxbString& text) override {
        return listing(__func__, argList(id, name, text));
    }
    StoreResultSet* listPermissions(unsigned id, const QxbString& name, const QxbString& text,
                                    unsigned number) override {
        return listing(__func__, argList(id, name, text, number));
    }
    StoreResultSet* listRoles(unsigned id, const QxbString& name, const QxbString& text1,
                              const QxbString& text2) override {
        return listing(__func__, argList(id, name, text1, text2));
    }
    StoreResultSet* listItems(unsigned id, const QxbString& key, const QxbString& text,
                              const QxbString& flag1, const QxbString& flag2,
                              const QxbString& text2, unsigned accountId) override {
        return listing(__func__, argList(id, key, text, flag1, flag2, text2, accountId));
    }
    StoreResultSet* listItemPermissions(unsigned itemId, unsigned accountId,
                                        unsigned permissionId) override {
        return listing(__func__, argList(itemId, accountId, permissionId));
    }
    StoreResultSet* listLocalizedTexts(unsigned id, const QxbString& text,
                                       unsigned languageId) override {
        return listing(__func__, argList(id, text, languageId));
    }
    StoreResultSet* listDomains(unsigned id, const QxbString& name, const QxbString& description,
                                const QxbString& text1, const QxbString& flag1,
                                const QxbString& flag2, const QxbString& scope, unsigned number1,
                                const QxbString& text8, unsigned accountId, unsigned number10,
                                const QxbDate& date11, const QxbString& kindCode,
                                const QxbDate& created) override {
        return listing(__func__, argList(id, name, description, text1, flag1, flag2, scope, number1,
            text8, accountId, number10, date11, kindCode, created));
    }
    StoreResultSet* listDomainDetails(unsigned id, const QxbString& name, bool current) override {
        return listing(__func__, argList(id, name, current));
    }
    StoreResultSet* listB(unsigned key) override {
        return listing(__func__, argList(key));
    }
    StoreResultSet* listC(unsigned key) override {
        return listing(__func__, argList(key));
    }
    StoreResultSet* listDomainPermissions(unsigned domainId, unsigned accountId,
                                          unsigned permissionId) override {
        return listing(__func__, argList(domainId, accountId, permissionId));
    }
    StoreResultSet* listDomainVersions(unsigned id, unsigned domainId, unsigned number,
                                       const QxbString& label, const QxbString& flag1,
                                       const QxbString& flag2, const QxbString& text,
                                       unsigned accountId, const QxbString& flag8, unsigned number9,
                                       const QxbDate& date10, const QxbDate& created) override {
        return listing(__func__, argList(id, domainId, number, label, flag1, flag2, text, accountId,
            flag8, number9, date10, created));
    }
    StoreResultSet* listForDomainKind(unsigned domainId, bool kindIsC) override {
        return listing(__func__, argList(domainId, kindIsC));
    }
    StoreResultSet* listVersionPermissions(unsigned versionId, unsigned accountId,
                                           unsigned permissionId) override {
        return listing(__func__, argList(versionId, accountId, permissionId));
    }
    StoreResultSet* listChangeRecords(unsigned id, unsigned domainId, const QxbString& status,
                                      unsigned objectId, const QxbString& tableCode,
                                      const QxbString& description, unsigned languageId,
                                      unsigned accountId, const QxbDate& date) override {
        return listing(__func__, argList(id, domainId, status, objectId, tableCode, description,
            languageId, accountId, date));
    }
    StoreResultSet* listDomainRolePermissions(unsigned domainId, unsigned accountId,
                                              unsigned roleId) override {
        return listing(__func__, argList(domainId, accountId, roleId));
    }
    StoreResultSet* listDomainAssociations(unsigned domainId, unsigned id,
                                           const QxbString& text) override {
        return listing(__func__, argList(domainId, id, text));
    }
    StoreResultSet* listDomainLanguages(unsigned id, unsigned domainId,
                                        unsigned languageId) override {
        return listing(__func__, argList(id, domainId, languageId));
    }
    StoreResultSet* listI(unsigned id, unsigned a, unsigned b) override {
        return listing(__func__, argList(id, a, b));
    }
    StoreResultSet* listJ(unsigned a, unsigned b) override {
        return listing(__func__, argList(a, b));
    }
    StoreResultSet* listVersionLanguages(unsigned versionId, unsigned domainLanguageId) override {
        return listing(__func__, argList(versionId, domainLanguageId));
    }
    StoreResultSet* listDomainAttributes(unsigned id, unsigned domainId,
                                         unsigned attributeId) override {
        return listing(__func__, argList(id, domainId, attributeId));
    }
    StoreResultSet* listD(unsigned a, unsigned b) override {
        return listing(__func__, argList(a, b));
    }
    StoreResultSet* listE(unsigned a, unsigned b) override {
        return listing(__func__, argList(a, b));
    }
    StoreResultSet* listDomainAttributePermissions(unsigned domainId, unsigned accountId,
                                                   unsigned permissionId) override {
        return listing(__func__, argList(domainId, accountId, permissionId));
    }
    StoreResultSet* listVersionAttributes(unsigned domainId, unsigned domainAttributeId,
                                          unsigned versionId, const QxbString& flag) override {
        return listing(__func__, argList(domainId, domainAttributeId, versionId, flag));
    }
    StoreResultSet* listDomainAttributeValues(unsigned id, unsigned domainAttributeId,
                                              const QxbString& text, const QxbString& flag,
                                              unsigned languageId) override {
        return listing(__func__, argList(id, domainAttributeId, text, flag, languageId));
    }
    StoreResultSet* listVersionValues(unsigned versionId,
                                      unsigned domainAttributeValueId) override {
        return listing(__func__, argList(versionId, domainAttributeValueId));
    }
    StoreResultSet* listH(unsigned id, unsigned key) override {
        return listing(__func__, argList(id, key));
    }
    StoreResultSet* listItemsWithAttributes(unsigned domainId, unsigned versionNumber) override {
        return listing(__func__, argList(domainId, versionNumber));
    }
    StoreResultSet* listItemsWithAttributesOfVersion(unsigned domainId,
                                                     unsigned versionNumber) override {
        return listing(__func__, argList(domainId, versionNumber));
    }
    StoreResultSet* listVersionItems(unsigned id, unsigned versionId, unsigned itemId,
                                     const QxbDate& date, unsigned number, const QxbString& text,
                                     unsigned parentItemId) override {
        return listing(__func__, argList(id, versionId, itemId, date, number, text, parentItemId));
    }
    StoreResultSet* listK(unsigned a, unsigned b) override {
        return listing(__func__, argList(a, b));
    }
    StoreResultSet* listItemAttributeValues(unsigned id, unsigned versionItemId,
                                            unsigned attributeId) override {
        return listing(__func__, argList(id, versionItemId, attributeId));
    }
    StoreResultSet* listF(unsigned a, unsigned b) override {
        return listing(__func__, argList(a, b));
    }
    StoreResultSet* listVersionItemValues(unsigned versionId,
                                          unsigned itemAttributeValueId) override {
        return listing(__func__, argList(versionId, itemAttributeValueId));
    }
    StoreResultSet* listG(unsigned a, unsigned b) override {
        return listing(__func__, argList(a, b));
    }
    StoreResultSet* listVersionItemValueLinks(unsigned versionId, unsigned localizedTextId,
                                              unsigned itemAttributeValueId) override {
        return listing(__func__, argList(versionId, localizedTextId, itemAttributeValueId));
    }
    StoreResultSet* listDomainExtras(unsigned id, const QxbString& text1, const QxbString& text2,
                                     unsigned domainId, unsigned number, const QxbString& text3,
                                     const QxbString& text4) override {
        return listing(__func__, argList(id, text1, text2, domainId, number, text3, text4));
    }
    StoreResultSet* listS(unsigned key) override {
        return listing(__func__, argList(key));
    }
    bool deleteAttributeRow(unsigned id, const QxbString& note) override {
        return act(__func__, argList(id, note));
    }
    bool deleteDomains(unsigned id, const QxbString& name, const QxbString& description,
                       const QxbString& text1, const QxbString& flag1, const QxbString& flag2,
                       const QxbString& scope, unsigned number1, const QxbString& text8,
                       unsigned accountId, unsigned number10, const QxbDate& date11,
                       const QxbString& kindCode, const QxbDate& created) override {
        return act(__func__, argList(id, name, description, text1, flag1, flag2, scope, number1,
            text8, accountId, number10, date11, kindCode, created));
    }
    bool deleteDomainVersions(unsigned id, unsigned domainId, unsigned number,
                              const QxbString& label, const QxbString& flag1,
                              const QxbString& flag2, const QxbString& text, unsigned accountId,
                              const QxbString& flag8, unsigned number9, const QxbDate& date10,
                              const QxbDate& created) override {
        return act(__func__, argList(id, domainId, number, label, flag1, flag2, text, accountId,
            flag8, number9, date10, created));
    }
    bool deleteDomainAccessRows(unsigned id, unsigned domainId, const QxbString& kind,
                                unsigned accountId, const QxbString& accessName,
                                const QxbString& note, unsigned permissionId,
                                unsigned roleId) override {
        return act(__func__, argList(id, domainId, kind, accountId, accessName, note, permissionId,
            roleId));
    }
    bool deleteDomainRowsB(unsigned id, unsigned domainId, unsigned key) override {
        return act(__func__, argList(id, domainId, key));
    }
    bool deleteVersionLinksA(unsigned versionId, unsigned key) override {
        return act(__func__, argList(versionId, key));
    }
    bool deleteDomainRowsA(unsigned id, unsigned domainId, unsigned key) override {
        return act(__func__, argList(id, domainId, key));
    }
    bool deleteVersionAttributes(unsigned domainId, unsigned domainAttributeId, unsigned versionId,
                                 const QxbString& flag) override {
        return act(__func__, argList(domainId, domainAttributeId, versionId, flag));
    }
    bool deleteVersionItems(unsigned id, unsigned versionId, unsigned itemId, const QxbDate& date,
                            unsigned number, const QxbString& text,
                            unsigned parentItemId) override {
        return act(__func__, argList(id, versionId, itemId, date, number, text, parentItemId));
    }
    bool deleteItemAttributeValues(unsigned id, unsigned versionItemId,
                                   unsigned attributeId) override {
        return act(__func__, argList(id, versionItemId, attributeId));
    }
    bool deleteVersionLinksB(unsigned versionId, unsigned key) override {
        return act(__func__, argList(versionId, key));
    }
    bool deleteVersionItemValueLinks(unsigned versionId, unsigned localizedTextId,
                                     unsigned itemAttributeValueId) override {
        return act(__func__, argList(versionId, localizedTextId, itemAttributeValueId));
    }
    bool deleteDomainExtras(unsigned id, const QxbString& text1, const QxbString& text2,
                            unsigned domainId, unsigned number, const QxbString& text3,
                            const QxbString& text4) override {
        return act(__func__, argList(id, text1, text2, domainId, number, text3, text4));
    }
    bool deleteVersionRowsC(unsigned k1, unsigned k2, const QxbString& t3, const QxbString& t4,
                            const QxbString& t5, unsigned k6, unsigned versionId, unsigned k8,
                            const QxbString& t9, const QxbString& t10, const QxbString& t11,
                            const QxbString& t12, unsigned k13, unsigned k14,
                            const QxbDate& d15) override {
        return act(__func__, argList(k1, k2, t3, t4, t5, k6, versionId, k8, t9, t10, t11, t12, k13,
            k14, d15));
    }
    bool deleteVersionRowsD(unsigned k1, unsigned k2, unsigned k3, unsigned k4, unsigned k5,
                            const QxbString& t6, unsigned k7, const QxbString& t8,
                            const QxbString& t9, const QxbString& t10, const QxbString& t11,
                            unsigned k12, unsigned k13, unsigned k14, unsigned versionId,
                            unsigned k16, const QxbDate& d17) override {
        return act(__func__, argList(k1, k2, k3, k4, k5, t6, k7, t8, t9, t10, t11, k12, k13, k14,
            versionId, k16, d17));
    }
    bool deleteVersionRowsE(unsigned versionId, unsigned k2, const QxbDate& d3, unsigned k4,
                            const QxbString& t5, unsigned k6, unsigned k7) override {
        return act(__func__, argList(versionId, k2, d3, k4, t5, k6, k7));
    }
    bool deleteVersionRowsG(unsigned key, unsigned versionId) override {
        return act(__func__, argList(key, versionId));
    }
    bool deleteVersionRowsF(unsigned k1, unsigned k2, unsigned k3, unsigned versionId) override {
        return act(__func__, argList(k1, k2, k3, versionId));
    }
    bool renameDomain(unsigned domainId, const QxbString& newName) override {
        return act(__func__, argList(domainId, newName));
    }
    bool insertItemAttributeValue(unsigned versionItemId, unsigned attributeId,
                                  unsigned* newId) override {
        return write(__func__, argList(versionItemId, attributeId, newId), newId);
    }
    bool insertLocalizedText(const QxbString& text, unsigned languageId, unsigned* newId) override {
        return write(__func__, argList(text, languageId, newId), newId);
    }
    bool insertLanguage(const QxbString& code, const QxbString& name, unsigned* newId) override {
        return write(__func__, argList(code, name, newId), newId);
    }
    bool insertAttributeType(const QxbString& name, const QxbString& text,
                             unsigned* newId) override {
        return write(__func__, argList(name, text, newId), newId);
    }
    bool insertAttributeContext(const QxbString& name, const QxbString& text,
                                unsigned* newId) override {
        return write(__func__, argList(name, text, newId), newId);
    }
    bool insertRole(const QxbString& name, const QxbString& text1, const QxbString& text2,
                    unsigned* newId) override {
        return write(__func__, argList(name, text1, text2, newId), newId);
    }
    bool insertPermission(const QxbString& name, const QxbString& text, int number,
                          unsigned* newId) override {
        return write(__func__, argList(name, text, number, newId), newId);
    }
    bool insertDomainLanguage(unsigned domainId, unsigned languageId, unsigned* newId) override {
        return write(__func__, argList(domainId, languageId, newId), newId);
    }
    bool insertDomainAttribute(unsigned domainId, unsigned attributeId, unsigned* newId) override {
        return write(__func__, argList(domainId, attributeId, newId), newId);
    }
    bool insertDomainAttributeValue(unsigned domainAttributeId, const QxbString& text,
                                    const QxbString& flag, unsigned languageId,
                                    unsigned* newId) override {
        return write(__func__, argList(domainAttributeId, text, flag, languageId, newId), newId);
    }
    bool insertDomainPermission(unsigned domainId, const QxbString& kind, unsigned accountId,
                                const QxbString& accessName, unsigned permissionId, unsigned roleId,
                                unsigned* newId) override {
        return write(__func__, argList(domainId, kind, accountId, accessName, permissionId, roleId,
            newId), newId);
    }
    bool insertVersionPermission(unsigned versionId, unsigned accountId, unsigned permissionId,
                                 unsigned* newId) override {
        return write(__func__, argList(versionId, accountId, permissionId, newId), newId);
    }
    bool insertItemPermission(unsigned itemId, unsigned accountId, unsigned permissionId,
                              unsigned* newId) override {
        return write(__func__, argList(itemId, accountId, permissionId, newId), newId);
    }
    bool insertDomainRolePermission(unsigned domainId, unsigned accountId, unsigned roleId,
                                    unsigned* newId) override {
        return write(__func__, argList(domainId, accountId, roleId, newId), newId);
    }
    bool insertDomainAssociation(unsigned domainId, const QxbString& text,
                                 unsigned* newId) override {
        return write(__func__, argList(domainId, text, newId), newId);
    }
    bool insertDomainExtra(unsigned domainId, const QxbString& text1, const QxbString& text2,
                           int number, const QxbString& text3, const QxbString& text4,
                           unsigned* newId) override {
        return write(__func__, argList(domainId, text1, text2, number, text3, text4, newId), newId);
    }
    StoreResultSet* listTableCounts() override {
        return listing(__func__, "()");
    }
    bool insertDomainAttributePermission(unsigned domainId, unsigned accountId,
                                         unsigned permissionId, unsigned* newId) override {
        return write(__func__, argList(domainId, accountId, permissionId, newId), newId);
    }
    StoreResultSet* listVersionItemAttributeValues(unsigned versionId) override {
        return listing(__func__, argList(versionId));
    }
    StoreResultSet* listVersionValueTexts(unsigned versionId) override {
        return listing(__func__, argList(versionId));
    }
    StoreResultSet* listVersionContentByKey(unsigned versionId) override {
        return listing(__func__, argList(versionId));
    }
    bool deleteVersionItemContent(unsigned versionId) override {
        return act(__func__, argList(versionId));
    }
    StoreResultSet* listItemsWithKey(unsigned domainId, unsigned versionNumber, const QxbString& key) override {
        return listing(__func__, argList(domainId, versionNumber, key));
    }
};

}  // namespace

RecordingStore* newRecordingStore(const std::string& label) {
    return new RecordingStoreImpl(label);
}

}  // namespace fakes
