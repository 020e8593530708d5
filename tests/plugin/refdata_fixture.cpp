// Builds the plug-in tests' repository through the store library.
#include "refdata_fixture.h"

#include <memory>

#include "repadm.h"

namespace {

template <typename T>
struct Releaser {
    void operator()(T* object) const {
        if (object != nullptr) object->release();
    }
};
template <typename T>
using Owned = std::unique_ptr<T, Releaser<T>>;

const char* const kDsn = "sqlite:plugintest.db";
const char* const kPrefix = "kiv_rdm_";

// Inserts through one store, remembering the first failure.
class Builder {
public:
    explicit Builder(RefDataStore* store) : store_(store) {}
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    unsigned check(bool done, unsigned id, const char* what) {
        if (!done && error_.empty()) error_ = std::string(what) + ": " + store_->getLastError().str();
        return id;
    }
    unsigned domain(const char* name, unsigned account) {
        unsigned id = 0;
        const bool done = store_->insertDomain(name, QxbString(("The " + std::string(name)).c_str()), "", "Y", "N",
                                               "PUBLIC", 0, "", account, 0, QxbDate(), "D", &id);
        return check(done, id, "insertDomain");
    }
    unsigned version(unsigned domainId, int number, unsigned account) {
        unsigned id = 0;
        const std::string label = "v" + std::to_string(number);
        const bool done = store_->insertDomainVersion(domainId, number, QxbString(label.c_str()), "Y", "Y", "",
                                                      account, "N", 0, QxbDate(), &id);
        return check(done, id, "insertDomainVersion");
    }
    RefDataStore* store() { return store_; }

private:
    RefDataStore* store_;
    std::string error_;
};

// The seeded language "en".
unsigned englishId(RefDataStore* store) {
    Owned<StoreResultSet> rows(store->listLanguages(static_cast<unsigned>(-1), QxbString("en"), QxbString()));
    return rows && rows->next() == 1 ? static_cast<unsigned>(rows->getInt(0)) : 0;
}

}  // namespace

RefDataFixture::RefDataFixture(bool withData) {
    Owned<RepositoryAdmin> admin(createRepositoryAdmin(1, 0));
    if (!admin) {
        error_ = getRepositoryAdminError();
        return;
    }
    if (!admin->createRepositoryByDsn(kDsn, kPrefix) || !admin->createRepository(kRepository, kDsn, kPrefix)) {
        error_ = "createRepository: " + admin->getLastError().str();
        return;
    }
    if (withData) fill();
}

bool RefDataFixture::fill() {
    Owned<RepositoryAdmin> admin(createRepositoryAdmin(1, 0));
    Owned<Repository> repository(admin ? admin->openRepositoryByDsn(kDsn, kPrefix, 0, 0) : nullptr);
    if (!repository) {
        error_ = admin ? admin->getLastError().str() : std::string(getRepositoryAdminError());
        return false;
    }
    Owned<RefDataStore> store(repository->createStore());
    Builder b(store.get());
    unsigned account = 0, language = 0, attribute = 0, item = 0, versionItem = 0, value = 0, text = 0;
    b.check(store->insertAccount("tester", "USER", "plugin-tester", "", "", "", "", static_cast<unsigned>(-1), &account),
            0, "insertAccount");
    language = englishId(store.get());
    const unsigned colors = b.domain("COLORS", account);
    for (int number = 1; number <= 5; ++number) b.version(colors, number, account);
    const unsigned sizes = b.domain("SIZES", account);
    const unsigned sizesV1 = b.version(sizes, 1, account);
    b.check(store->insertAttribute("LABEL", "Label text", 1, "SINGLELINETEXT", 1, language, account, QxbString(),
                                   &attribute),
            0, "insertAttribute");
    b.check(store->insertItem("S", "small", "Y", "N", "", account, &item), 0, "insertItem");
    b.check(store->insertVersionItem(sizesV1, item, 1, QxbString("Small size"), static_cast<unsigned>(-1), nullptr,
                                     &versionItem),
            0, "insertVersionItem");
    b.check(store->insertItemAttributeValue(versionItem, attribute, &value), 0, "insertItemAttributeValue");
    b.check(store->insertVersionItemValue(sizesV1, value), 0, "insertVersionItemValue");
    b.check(store->insertLocalizedText("Small", language, &text), 0, "insertLocalizedText");
    b.check(store->insertVersionItemValueLink(sizesV1, text, value), 0, "insertVersionItemValueLink");
    b.check(store->insertItem("M", "medium", "Y", "N", "", account, &item), 0, "insertItem");
    b.check(store->insertVersionItem(sizesV1, item, 2, QxbString(), static_cast<unsigned>(-1), nullptr), 0,
            "insertVersionItem");
    error_ = b.error();
    return b.ok();
}
