// The administration layer's edit session, through the public interfaces:
// (a) loading a domain version into an edit session (beginNewDomainVersion +
// cancelDomainEdit) on 100,000 items against 10,000 items, (b) the catalogue
// refresh of beginNewDomain on 100,000 items with 1 account against the same
// repository with 20,000 more accounts and one item grant per item. Prints
// both times of each pair and their ratio against its goal.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "RefDataHandle.h"
#include "qxbcpp.h"
#include "repadm.h"

namespace {

const char kPrefix[] = "b_";
const unsigned kAny = 0xFFFFFFFFu;
const unsigned kAdminAccount = 1;  // seeded with every repository
const unsigned kEnglish = 1, kGerman = 2;
const unsigned kReadPermission = 1;
const unsigned kReaderRole = 4;
const int kLargeItems = 100000;
const int kSmallItems = 10000;
const int kAccounts = 20000;

void check(bool ok, RefDataStore* store, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s failed: %s\n", what, store != nullptr ? store->getLastError().asCstr() : "");
    std::exit(1);
}

// One store on a data repository, opened for the set-up and released after.
class SetupStore {
public:
    explicit SetupStore(const std::string& database) {
        admin_ = createRepositoryAdmin(1, 0);
        check(admin_ != nullptr, nullptr, getRepositoryAdminError());
        const bool made = admin_->createRepositoryByDsn(QxbString("sqlite:" + database), QxbString(kPrefix));
        check(made, nullptr, admin_->getLastError().asCstr());
        repository_ = admin_->openRepositoryByDsn(QxbString("sqlite:" + database), QxbString(kPrefix), 0, 0);
        check(repository_ != nullptr, nullptr, admin_->getLastError().asCstr());
        store_ = repository_->createStore();
    }
    ~SetupStore() {
        store_->release();
        repository_->release();
        admin_->release();
    }
    SetupStore(const SetupStore&) = delete;
    SetupStore& operator=(const SetupStore&) = delete;
    RefDataStore* operator->() const { return store_; }
    RefDataStore* get() const { return store_; }

private:
    RepositoryAdmin* admin_ = nullptr;
    Repository* repository_ = nullptr;
    RefDataStore* store_ = nullptr;
};

unsigned addAttribute(RefDataStore* s, unsigned domain, unsigned version, const char* name) {
    const QxbString empty("");
    unsigned attribute = 0, domainAttribute = 0;
    check(s->insertAttribute(QxbString(name), QxbString(name), 1, QxbString("SINGLELINETEXT"), 1, kEnglish,
                             kAdminAccount, empty, &attribute),
          s, "insertAttribute");
    check(s->insertDomainAttribute(domain, attribute, &domainAttribute), s, "insertDomainAttribute");
    check(s->insertVersionAttribute(domain, domainAttribute, version, QxbString("Y")), s, "insertVersionAttribute");
    return attribute;
}

void addText(RefDataStore* s, unsigned version, unsigned value, const std::string& text, unsigned language) {
    unsigned textId = 0;
    check(s->insertLocalizedText(QxbString(text), language, &textId), s, "insertLocalizedText");
    check(s->insertVersionItemValueLink(version, textId, value), s, "insertVersionItemValueLink");
}

// A domain with one version of `items` items, written as an import writes
// them. Each item has three values ("name" en, "note" de, "code" en); every
// tenth item's name also has a German text. Answers the domain's id.
unsigned writeDomain(RefDataStore* s, const char* name, int items) {
    const QxbString empty("");
    const QxbDate noDate;
    unsigned domain = 0, version = 0;
    check(s->beginTransaction(0, 0), s, "begin");
    check(s->insertDomain(QxbString(name), empty, empty, QxbString("Y"), QxbString("Y"), empty, 0, empty,
                          kAdminAccount, -1, noDate, empty, &domain),
          s, "insertDomain");
    check(s->insertDomainVersion(domain, 1, QxbString("Version 1"), QxbString("Y"), QxbString("Y"), empty,
                                 kAdminAccount, QxbString("N"), -1, noDate, &version),
          s, "insertDomainVersion");
    const unsigned attributes[] = {addAttribute(s, domain, version, "name"), addAttribute(s, domain, version, "note"),
                                   addAttribute(s, domain, version, "code")};
    for (int n = 0; n < items; ++n) {
        const std::string key = "K" + std::to_string(n);
        unsigned item = 0, versionItem = 0;
        check(s->insertItem(QxbString(key), QxbString("Item " + key), QxbString("Y"), QxbString("Y"),
                            QxbString("P"), kAdminAccount, &item),
              s, "insertItem");
        check(s->insertVersionItem(version, item, n + 1, QxbString("Item " + key), kAny, nullptr, &versionItem), s,
              "insertVersionItem");
        for (int a = 0; a < 3; ++a) {
            unsigned value = 0;
            check(s->insertItemAttributeValue(versionItem, attributes[a], &value), s, "insertItemAttributeValue");
            check(s->insertVersionItemValue(version, value), s, "insertVersionItemValue");
            switch (a) {
                case 0:
                    addText(s, version, value, "name of " + key, kEnglish);
                    if (n % 10 == 0) addText(s, version, value, "Name von " + key, kGerman);
                    break;
                case 1: addText(s, version, value, "Notiz zu " + key, kGerman); break;
                default: addText(s, version, value, "C-" + std::to_string(n), kEnglish); break;
            }
        }
    }
    check(s->endTransaction(true), s, "commit");
    return domain;
}

// kAccounts more accounts, and one READ grant on every item to one of them.
void writeAccountsAndGrants(RefDataStore* s) {
    const QxbString empty("");
    std::vector<unsigned> accounts;
    accounts.reserve(kAccounts);
    check(s->beginTransaction(0, 0), s, "begin");
    for (int n = 0; n < kAccounts; ++n) {
        const std::string name = "user" + std::to_string(n);
        unsigned id = 0;
        check(s->insertAccount(QxbString(name), QxbString("USER"), QxbString("key-" + name),
                               QxbString("Account " + name), empty, empty, empty, kReaderRole, &id),
              s, "insertAccount");
        accounts.push_back(id);
    }
    std::vector<unsigned> items;
    StoreResultSet* rows = s->listItems(kAny, QxbString(), QxbString(), QxbString(), QxbString(), QxbString(), kAny);
    check(rows != nullptr, s, "listItems");
    while (rows->next() == 1) items.push_back(static_cast<unsigned>(rows->getInt(0)));
    rows->release();
    std::mt19937 random(20240611u);
    std::uniform_int_distribution<std::size_t> pick(0, accounts.size() - 1);
    for (const unsigned item : items)
        check(s->insertItemPermission(item, accounts[pick(random)], kReadPermission, nullptr), s,
              "insertItemPermission");
    check(s->endTransaction(true), s, "commit");
}

void copyFile(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    check(in.good() && out.good(), nullptr, ("copying " + from).c_str());
}

// The three databases, each a named repository of the same name, built once
// per process in a temporary home folder that main removes at exit. "large"
// serves both the version load and the one-account refresh; "accounts" is a
// copy of it with the accounts added.
struct BenchData {
    std::string folder;
    std::string small, large, accounts;
    unsigned smallDomain = 0, largeDomain = 0;
    double setupSeconds = 0;
};

std::string databaseOf(const BenchData& d, const char* repository) { return d.folder + "/" + repository + ".db"; }

BenchData& data() {
    static BenchData d;
    if (!d.folder.empty()) return d;
    char folder[] = "/tmp/edit_session_bench_XXXXXX";
    check(mkdtemp(folder) != nullptr, nullptr, "mkdtemp");
    d.folder = folder;
    setenv("RDM_HOME", folder, 1);
    qxbSetHomeFolder(folder);
    QxbString error;
    check(qxbEnsureHomeFolder(&error), nullptr, error.asCstr());
    d.small = databaseOf(d, "small");
    d.large = databaseOf(d, "large");
    d.accounts = databaseOf(d, "accounts");

    const auto start = std::chrono::steady_clock::now();
    std::fprintf(stderr, "building %d and %d items with 3 values each, then %d accounts ...\n", kSmallItems,
                 kLargeItems, kAccounts);
    {
        SetupStore store(d.small);
        d.smallDomain = writeDomain(store.get(), "Small", kSmallItems);
    }
    {
        SetupStore store(d.large);
        d.largeDomain = writeDomain(store.get(), "Large", kLargeItems);
    }
    // Every connection of "large" is closed, so its log is normally folded in
    // and gone; a log still there goes with the copy.
    copyFile(d.large, d.accounts);
    if (access((d.large + "-wal").c_str(), F_OK) == 0) copyFile(d.large + "-wal", d.accounts + "-wal");
    {
        SetupStore store(d.accounts);
        writeAccountsAndGrants(store.get());
    }
    RepositoryAdmin* admin = createRepositoryAdmin(1, 0);
    check(admin != nullptr, nullptr, getRepositoryAdminError());
    for (const char* name : {"small", "large", "accounts"})
        check(admin->createRepository(QxbString(name), QxbString("sqlite:" + databaseOf(d, name)), QxbString(kPrefix)),
              nullptr, admin->getLastError().asCstr());
    admin->release();
    d.setupSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "set-up took %.1f s\n", d.setupSeconds);
    return d;
}

// A session with one handle on a named repository, released when it ends.
class OpenSession {
public:
    explicit OpenSession(const char* repository) {
        QxbString error;
        session_ = createReferenceDataSession(0, &error);
        if (session_ == nullptr) {
            error_ = error.str();
            return;
        }
        if (!session_->open(&handle_, QxbString(repository), &error)) {
            error_ = error.str();
            handle_ = nullptr;
        }
    }
    ~OpenSession() {
        if (session_ != nullptr) session_->release(&handle_);
    }
    OpenSession(const OpenSession&) = delete;
    OpenSession& operator=(const OpenSession&) = delete;
    bool ok() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }
    RefDataHandle* handle() const { return handle_; }
    RefDataAdmin* admin() const { return session_->getAdmin(handle_); }

private:
    RefData* session_ = nullptr;
    RefDataHandle* handle_ = nullptr;
    std::string error_;
};

// Runs one edit (begin + cancel) per iteration, after one untimed edit that
// warms the page cache and the heap for both sizes alike (a cold first run
// would weigh a third of a three-iteration mean but a tenth of a ten-
// iteration one); false from either step ends the benchmark with the
// handle's error text.
template <typename Begin>
void runEdits(benchmark::State& state, const char* repository, Begin begin) {
    data();
    OpenSession open(repository);
    if (!open.ok()) {
        state.SkipWithError(open.error().c_str());
        return;
    }
    RefDataAdmin* admin = open.admin();
    RefDataHandle* handle = open.handle();
    if (begin(admin, handle)) admin->cancelDomainEdit(handle);
    for (auto _ : state) {
        if (!begin(admin, handle)) {
            state.SkipWithError(("begin: " + handle->errorText.str()).c_str());
            break;
        }
        if (!admin->cancelDomainEdit(handle)) {
            state.SkipWithError(("cancelDomainEdit: " + handle->errorText.str()).c_str());
            break;
        }
    }
}

void loadVersion(benchmark::State& state, const char* repository, unsigned domain, int items) {
    runEdits(state, repository, [domain](RefDataAdmin* admin, RefDataHandle* handle) {
        return admin->beginNewDomainVersion(handle, domain, QxbString(), QxbString(), false, kAdminAccount,
                                            QxbString("bench"));
    });
    state.counters["items"] = items;
    state.counters["items/s"] =
        benchmark::Counter(static_cast<double>(items) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void refreshCatalogues(benchmark::State& state, const char* repository) {
    runEdits(state, repository, [](RefDataAdmin* admin, RefDataHandle* handle) {
        return admin->beginNewDomain(handle, QxbString("B"), QxbString(), QxbString(), false, QxbString(),
                                     kAdminAccount, QxbString("v1"));
    });
}

void BM_LoadVersion_10k(benchmark::State& state) {
    loadVersion(state, "small", data().smallDomain, kSmallItems);
}
void BM_LoadVersion_100k(benchmark::State& state) {
    loadVersion(state, "large", data().largeDomain, kLargeItems);
}
void BM_Refresh_1Account(benchmark::State& state) { refreshCatalogues(state, "large"); }
void BM_Refresh_20kAccounts(benchmark::State& state) { refreshCatalogues(state, "accounts"); }

BENCHMARK(BM_LoadVersion_10k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_LoadVersion_100k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Refresh_1Account)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Refresh_20kAccounts)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Prints the usual table, then one line per pair: both times, the ratio and
// whether the goals hold.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.benchmark_name();
            milliseconds_[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        printPair("version load", "BM_LoadVersion_100k", "BM_LoadVersion_10k", 12.0, 2000.0);
        printPair("catalogue refresh", "BM_Refresh_20kAccounts", "BM_Refresh_1Account", 1.5, 0);
    }

private:
    // limitMs: a goal on the larger time alone (0: none).
    void printPair(const char* what, const std::string& larger, const std::string& smaller, double maxRatio,
                   double limitMs) {
        if (milliseconds_.count(larger) == 0 || milliseconds_.count(smaller) == 0 || milliseconds_[smaller] <= 0) {
            std::printf("%s: not measured (see the errors above)\n", what);
            return;
        }
        const double big = milliseconds_[larger], base = milliseconds_[smaller], ratio = big / base;
        const bool met = ratio <= maxRatio && (limitMs <= 0 || big < limitMs);
        char goal[96];
        if (limitMs > 0)
            std::snprintf(goal, sizeof goal, "ratio <= %.1f, %s < %.0f ms", maxRatio, larger.substr(3).c_str(),
                          limitMs);
        else
            std::snprintf(goal, sizeof goal, "ratio <= %.1f", maxRatio);
        std::printf("%s: %s %.1f ms, %s %.1f ms, ratio %.2f (goal %s: %s)\n", what, larger.substr(3).c_str(), big,
                    smaller.substr(3).c_str(), base, ratio, goal, met ? "met" : "MISSED");
    }

    std::map<std::string, double> milliseconds_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    data();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::system(("rm -rf '" + data().folder + "'").c_str());
    return 0;
}
