// A fake repository library: createRepositoryAdmin and its objects, steered
// by platform().repadm and recorded in the call log. Linked instead of the
// real library.
#include <string>

#include "fake_platform.h"
#include "recording_store.h"
#include "repadm.h"

namespace fakes {
namespace {

std::string repositoryLabel(const QxbString& name) {
    return "repo[" + name.str() + "]";
}

class FakeRepository : public Repository {
public:
    explicit FakeRepository(std::string label) : label_(std::move(label)) {
        ++platform().repositories;
        noteCreated(label_);
    }

    QxbString getLastError() override {
        record("getLastError()");
        return QxbString(lastError_);
    }
    void release() override {
        record("release()");
        noteReleased(label_);
        delete this;
    }
    RefDataStore* createStore() override {
        const std::string store = "store" + std::to_string(++platform().stores);
        record("createStore() -> " + store);
        RecordingStore* created = newRecordingStore(store);
        if (platform().repadm.onStoreCreated) platform().repadm.onStoreCreated(*created);
        return created;
    }
    bool setKeyValue(const QxbString& key, const QxbString& value) override {
        record("setKeyValue" + argList(key, value));
        const auto& failing = platform().repadm.failingKeyWrites;
        auto found = failing.find(key.str());
        if (found != failing.end()) {
            lastError_ = found->second;
            return false;
        }
        platform().repadm.keyValues[key.str()] = value.str();
        return true;
    }
    bool getKeyValue(const QxbString& key, QxbString* value) override {
        record("getKeyValue" + argList(key));
        const RepadmScript& script = platform().repadm;
        auto failing = script.failingKeys.find(key.str());
        if (failing != script.failingKeys.end()) {
            lastError_ = failing->second;
            return false;
        }
        auto found = script.keyValues.find(key.str());
        if (found == script.keyValues.end()) {
            lastError_ = missingKeyText(key.str());
            return false;
        }
        value->assign(found->second.c_str());
        return true;
    }
    QxbString getName() override {
        record("getName()");
        return QxbString(label_);
    }

private:
    ~FakeRepository() override = default;
    void record(const std::string& call) { callLog().add(label_ + "." + call); }

    std::string label_;
    std::string lastError_;
};

class FakeRepositoryAdmin : public RepositoryAdmin {
public:
    FakeRepositoryAdmin() : label_("repadm" + std::to_string(++platform().admins)) {
        noteCreated(label_);
    }
    const std::string& label() const { return label_; }

    QxbString getLastError() override {
        record("getLastError()");
        return QxbString(lastError_);
    }
    void release() override {
        record("release()");
        noteReleased(label_);
        delete this;
    }
    Repository* openRepository(const QxbString& name, int reserved1, int reserved2) override {
        return open("openRepository" + argList(name, reserved1, reserved2),
                    platform().repadm.failingRepositories, name);
    }
    Repository* openRepositoryByDsn(const QxbString& dsn, const QxbString& tablePrefix,
                                    int reserved1, int reserved2) override {
        return open("openRepositoryByDsn" + argList(dsn, tablePrefix, reserved1, reserved2),
                    platform().repadm.failingDsns, dsn);
    }
    bool createRepository(const QxbString& name, const QxbString& dsn,
                          const QxbString& tablePrefix) override {
        record("createRepository" + argList(name, dsn, tablePrefix));
        return true;
    }
    bool listRepositories(QxbString* namesOut) override {
        record("listRepositories()");
        if (namesOut != nullptr) namesOut->assign("");
        return true;
    }
    bool createRepositoryByDsn(const QxbString& dsn, const QxbString& tablePrefix) override {
        const std::string call = "createRepositoryByDsn" + argList(dsn, tablePrefix);
        auto found = platform().repadm.failingDsns.find(dsn.str());
        if (found == platform().repadm.failingDsns.end()) {
            record(call + " -> true");
            return true;
        }
        record(call + " -> false");
        lastError_ = found->second;
        return false;
    }

private:
    ~FakeRepositoryAdmin() override = default;
    void record(const std::string& call) { callLog().add(label_ + "." + call); }

    Repository* open(const std::string& call, const std::map<std::string, std::string>& failing,
                     const QxbString& key) {
        auto found = failing.find(key.str());
        if (found != failing.end()) {
            record(call + " -> null");
            lastError_ = found->second;
            return nullptr;
        }
        const std::string label = repositoryLabel(key);
        record(call + " -> " + label);
        return new FakeRepository(label);
    }

    std::string label_;
    std::string lastError_;
};

}  // namespace
}  // namespace fakes

REPADM_API RepositoryAdmin* createRepositoryAdmin(int version, int reserved) {
    using namespace fakes;
    const std::string call = "createRepositoryAdmin" + argList(version, reserved);
    if (platform().repadm.createAdminFails) {
        callLog().add(call + " -> null");
        return nullptr;
    }
    auto* admin = new FakeRepositoryAdmin();
    callLog().add(call + " -> " + admin->label());
    return admin;
}

REPADM_API const char* getRepositoryAdminError() {
    fakes::callLog().add("getRepositoryAdminError()");
    return fakes::platform().repadm.createAdminError.c_str();
}
