// RefDataHandle: the record behind a connection handle, shared by the
// sources of the reference-data library. Callers outside the library treat
// the handle as opaque.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "qxbcpp.h"

class Repository;
class RepositoryAdmin;
class RefDataStore;
class RefDataImpl;
class RefDataAdminImpl;
class RefDataViewerImpl;
class RefStepInterface;
struct DomainEditSession;

// Catalogue rows. Catalogues are std::deque so that a row keeps its address
// while rows are appended behind it (other rows and the edit session point
// at rows); a catalogue is only appended to or rebuilt whole.
struct AttributeContextRow {
    unsigned id = 0;
    QxbString name;
    QxbString text;
};
struct AttributeTypeRow {
    unsigned id = 0;
    QxbString name;
    QxbString text;
};
struct LanguageRow {
    unsigned id = 0;
    QxbString name;
    QxbString text;
};
struct PermissionRow {
    unsigned id = 0;
    QxbString name;
    QxbString text;
    int number = 0;
};
struct RoleRow {
    unsigned id = 0;
    QxbString name;
    QxbString text1;
    QxbString text2;
};
struct AccountRow {
    unsigned id = 0;
    QxbString name;
    QxbString text2, text3, text4, text5, text6, text7;
    const RoleRow* role = nullptr;  // null: an account without a role
    QxbDate date;
};
struct AttributeRow {
    unsigned id = 0;
    const AttributeTypeRow* attributeType = nullptr;
    const AttributeContextRow* attributeContext = nullptr;
    QxbString name;
    QxbString label;
    const LanguageRow* language = nullptr;
    bool flag = false;
    QxbDate date;
    // Deleted from the store while the handle held the row: lookups skip it,
    // but it stays in place for the rows and records that point at it.
    bool removed = false;
};
struct ItemRow {
    unsigned id = 0;
    QxbString key;
    QxbString text;
    bool flag1 = false;
    bool flag2 = false;
    QxbString text2;
    const AccountRow* account = nullptr;
    std::vector<std::pair<const AccountRow*, const PermissionRow*>> permissions;
};
struct LocalizedTextRow {
    unsigned id = 0;
    QxbString text;
    const LanguageRow* language = nullptr;
};

// Rows by id, the first row of an id winning. Store ids are mostly dense, so
// ids lie in a vector indexed from the first id given; an id that would
// leave the vector mostly empty goes to a hash map instead. Lookups cost one
// vector access, and filling costs no allocation per row.
template <typename Row>
class IdIndex {
public:
    void reserve(std::size_t count) { dense_.reserve(count); }
    // False (and nothing changes) when the id already has a row.
    bool emplace(unsigned id, Row* row) {
        if (count_ == 0 && dense_.empty() && sparse_.empty()) base_ = id;
        if (id >= base_) {
            const std::size_t slot = id - base_;
            if (slot < dense_.size() || slot < 2 * count_ + kSlack) {
                if (slot >= dense_.size()) dense_.resize(slot + 1, nullptr);
                if (dense_[slot] != nullptr || sparse_.count(id) != 0) return false;
                dense_[slot] = row;
                ++count_;
                return true;
            }
        }
        return sparse_.emplace(id, row).second;
    }
    Row* get(unsigned id) const {
        if (id >= base_ && id - base_ < dense_.size() && dense_[id - base_] != nullptr)
            return dense_[id - base_];
        if (sparse_.empty()) return nullptr;
        const auto found = sparse_.find(id);
        return found != sparse_.end() ? found->second : nullptr;
    }
    void erase(unsigned id) {
        if (id >= base_ && id - base_ < dense_.size() && dense_[id - base_] != nullptr) {
            dense_[id - base_] = nullptr;
            --count_;
            return;
        }
        sparse_.erase(id);
    }

private:
    static constexpr std::size_t kSlack = 4096;
    std::vector<Row*> dense_;
    unsigned base_ = 0;
    std::size_t count_ = 0;  // rows in dense_
    std::unordered_map<unsigned, Row*> sparse_;
};

// Lookups into the catalogues in constant time, rebuilt with them and kept
// current by the appends. Names are folded to ASCII lower case (catalogue
// names compare without case); item keys and the exact attribute names
// compare byte for byte. Each map holds the first row of its key in
// catalogue order.
struct CatalogueIndex {
    template <typename Row>
    using ById = IdIndex<Row>;
    template <typename Row>
    using ByText = std::unordered_map<std::string, Row*>;

    ById<AccountRow> accounts;
    ById<AttributeRow> attributes;
    ById<AttributeContextRow> attributeContexts;
    ById<AttributeTypeRow> attributeTypes;
    ById<LanguageRow> languages;
    ById<PermissionRow> permissions;
    ById<RoleRow> roles;
    ById<ItemRow> items;
    ById<LocalizedTextRow> localizedTexts;
    ByText<AttributeContextRow> attributeContextNames;
    ByText<AttributeTypeRow> attributeTypeNames;
    ByText<AttributeRow> attributeNames;       // folded
    ByText<AttributeRow> attributeExactNames;  // as stored
    ByText<ItemRow> itemKeys;                  // as stored
};

struct RefDataHandle {
    Repository* repository = nullptr;
    QxbString errorText;
    RepositoryAdmin* repositoryAdmin = nullptr;
    Repository* dataRepository = nullptr;
    RefDataStore* adminStore = nullptr;
    RefDataStore* queryStore = nullptr;
    RefDataImpl* session = nullptr;
    RefDataAdminImpl* admin = nullptr;
    RefDataViewerImpl* viewer = nullptr;
    DomainEditSession* currentDomain = nullptr;
    RefStepInterface* stepBridge = nullptr;

    std::deque<AccountRow> accountCatalogue;
    std::deque<AttributeRow> attributeCatalogue;
    std::deque<AttributeContextRow> attributeContextCatalogue;
    std::deque<AttributeTypeRow> attributeTypeCatalogue;
    std::deque<LanguageRow> languageCatalogue;
    std::deque<PermissionRow> permissionCatalogue;
    std::deque<RoleRow> roleCatalogue;
    std::deque<ItemRow> itemCatalogue;
    std::deque<LocalizedTextRow> localizedTextCatalogue;
    CatalogueIndex catalogueIndex;
};
