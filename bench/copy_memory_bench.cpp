// Peak memory of copyDomain on a domain of 1,000,000 items (goal: the
// process peaks under 200 MiB). The copy walks the source's version items
// while it writes, so the walk keeps its remaining rows (in a temporary file
// past a few MiB) instead of holding them all in memory. Prints the peak
// resident size (getrusage) before and after the copy, and the copy's time.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RefData.h"
#include "RefDataAdmin.h"
#include "RefDataHandle.h"
#include "qxbcpp.h"
#include "repadm.h"

namespace {

const char kPrefix[] = "b_";
const unsigned kAny = 0xFFFFFFFFu;
const unsigned kAdminAccount = 1;
const double kGoalMiB = 200;

void check(bool ok, const char* what, const std::string& reason) {
    if (ok) return;
    std::fprintf(stderr, "%s failed: %s\n", what, reason.c_str());
    std::exit(1);
}

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

unsigned writeDomain(const std::string& database, int items) {
    RepositoryAdmin* admin = createRepositoryAdmin(1, 0);
    check(admin != nullptr, "createRepositoryAdmin", getRepositoryAdminError());
    check(admin->createRepositoryByDsn(QxbString("sqlite:" + database), QxbString(kPrefix)), "create",
          admin->getLastError().str());
    Repository* repository =
        admin->openRepositoryByDsn(QxbString("sqlite:" + database), QxbString(kPrefix), 0, 0);
    check(repository != nullptr, "open", admin->getLastError().str());
    RefDataStore* s = repository->createStore();
    const QxbString empty(""), yes("Y");
    const QxbDate noDate;
    unsigned domain = 0, version = 0;
    check(s->beginTransaction(0, 0), "begin", s->getLastError().str());
    check(s->insertDomain(QxbString("Big"), empty, empty, yes, yes, empty, 0, empty, kAdminAccount, -1,
                          noDate, empty, &domain),
          "insertDomain", s->getLastError().str());
    check(s->insertDomainVersion(domain, 1, QxbString("Version 1"), yes, yes, empty, kAdminAccount,
                                 QxbString("N"), -1, noDate, &version),
          "insertDomainVersion", s->getLastError().str());
    for (int n = 0; n < items; ++n) {
        const QxbString key("K" + std::to_string(n)), text("Item number " + std::to_string(n));
        unsigned item = 0;
        check(s->insertItem(key, text, yes, yes, QxbString("P"), kAdminAccount, &item) &&
                  s->insertVersionItem(version, item, n + 1, text, kAny, nullptr, nullptr),
              "insert", s->getLastError().str());
    }
    check(s->endTransaction(true), "commit", s->getLastError().str());
    s->release();
    repository->release();
    admin->release();
    return domain;
}

}  // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::atoi(argv[1]) : 1000000;
    char folder[] = "/tmp/copy_memory_bench_XXXXXX";
    check(mkdtemp(folder) != nullptr, "mkdtemp", "");
    setenv("RDM_HOME", folder, 1);
    qxbSetHomeFolder(folder);
    QxbString error;
    check(qxbEnsureHomeFolder(&error), "home", error.str());
    const std::string database = std::string(folder) + "/big.db";
    std::fprintf(stderr, "building a domain of %d items ...\n", items);
    const unsigned domain = writeDomain(database, items);
    {
        RepositoryAdmin* admin = createRepositoryAdmin(1, 0);
        check(admin->createRepository(QxbString("big"), QxbString("sqlite:" + database), QxbString(kPrefix)),
              "createRepository", admin->getLastError().str());
        admin->release();
    }

    RefData* session = createReferenceDataSession(0, &error);
    check(session != nullptr, "session", error.str());
    RefDataHandle* handle = nullptr;
    check(session->open(&handle, QxbString("big"), &error), "open", error.str());
    const double before = peakMiB();
    const auto start = std::chrono::steady_clock::now();
    unsigned copy = 0;
    const bool copied = session->getAdmin(handle)->copyDomain(handle, domain, kAdminAccount, &copy);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    check(copied, "copyDomain", handle->errorText.str());
    const double after = peakMiB();
    session->release(&handle);
    std::printf(
        "copyDomain of %d items: %.1f s; peak RSS %.1f MiB before the copy, %.1f MiB after "
        "(goal: under %.0f MiB) %s\n",
        items, seconds, before, after, kGoalMiB, after < kGoalMiB ? "met" : "NOT met");
    const std::string remove = std::string("rm -rf '") + folder + "'";
    return std::system(remove.c_str()) == 0 && after < kGoalMiB ? 0 : 1;
}
