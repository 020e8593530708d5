// Key lookups on a domain of 350,000 items with about 1,000,000 values in one
// version (goals: under 1 ms a lookup once the session is open, over 10,000
// lookups of present and absent keys; rdm has-item under 50 ms for the whole
// process). The domain is imported by rdm in a fresh home folder; the
// lookups run through the query extension (findItemKey) and through
// containsItemKey, and rdm has-item runs as a process. Exits 1 when a goal is
// missed. An argument sets another item count.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "RefData.h"
#include "RefDataHandle.h"
#include "RefDataViewerEx.h"
#include "qxbcpp.h"

namespace {

const double kLookupGoalMs = 1.0;
const double kProcessGoalMs = 50.0;
const int kLookups = 10000;
const int kProcesses = 20;

std::string home;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int rdm(const std::string& arguments) {
    const std::string command = std::string(RDM_BINARY_DIR) + "/rdm --home '" + home + "' " + arguments;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void check(bool ok, const char* what, const std::string& detail) {
    if (ok) return;
    std::fprintf(stderr, "lookup_bench: %s failed: %s\n", what, detail.c_str());
    std::exit(1);
}

void writeDomain(const std::string& path, int items) {
    std::ofstream csv(path);
    csv << "key,label,parent,name@en,name@de,note\n";
    for (int n = 0; n < items; ++n) {
        const std::string parent = n % 10 == 0 ? "" : "K" + std::to_string(n - n % 10);
        csv << 'K' << n << ",Item " << n << ',' << parent << ",name " << n << ",Name " << n << ','
            << (n % 7 != 0 ? "note " + std::to_string(n) : "") << '\n';
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::atoi(argv[1]) : 350000;
    char folder[] = "/tmp/rdm-lookup-bench-XXXXXX";
    check(mkdtemp(folder) != nullptr, "mkdtemp", "");
    home = folder;
    setenv("RDM_HOME", folder, 1);
    qxbSetHomeFolder(folder);
    std::fprintf(stderr, "importing a domain of %d items ...\n", items);
    writeDomain(home + "/domain.csv", items);
    check(rdm("repo create demo >/dev/null") == 0, "repo create", "");
    check(rdm("import demo D '" + home + "/domain.csv' --quiet >/dev/null") == 0, "import", "");

    QxbString error;
    RefData* session = createReferenceDataSession(0, &error);
    check(session != nullptr, "session", error.str());
    RefDataHandle* handle = nullptr;
    check(session->open(&handle, QxbString("demo"), &error), "open", error.str());
    RefDataViewerEx* viewer = session->getViewerEx(handle);
    const QxbString domain("D");

    // Keys spread over the domain; every second one absent.
    int found = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kLookups; ++i) {
        const int n = static_cast<int>((static_cast<long long>(i) * 7919) % items);
        const QxbString key((i % 2 == 0 ? "K" : "absent-") + std::to_string(n));
        const int answer = viewer->findItemKey(handle, domain, 0, key);
        check(answer >= 0, "findItemKey", handle->errorText.str());
        found += answer;
    }
    const double findMs = secondsSince(start) * 1000.0 / kLookups;
    check(found == kLookups / 2, "findItemKey", "found " + std::to_string(found) + " keys");

    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kLookups; ++i) {
        const QxbString key("K" + std::to_string((static_cast<long long>(i) * 104729) % items));
        check(viewer->containsItemKey(handle, domain, 0, key), "containsItemKey", handle->errorText.str());
    }
    const double containsMs = secondsSince(start) * 1000.0 / kLookups;
    session->release(&handle);

    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kProcesses; ++i)
        check(rdm("has-item demo D K" + std::to_string(i * 17) + " >/dev/null") == 0, "rdm has-item", "");
    const double processMs = secondsSince(start) * 1000.0 / kProcesses;

    const bool met = findMs < kLookupGoalMs && containsMs < kLookupGoalMs && processMs < kProcessGoalMs;
    std::printf("key lookups on %d items (%d lookups each, half of findItemKey's absent):\n", items, kLookups);
    std::printf("  findItemKey      %8.3f ms a lookup (goal: under %.0f ms)\n", findMs, kLookupGoalMs);
    std::printf("  containsItemKey  %8.3f ms a lookup (goal: under %.0f ms)\n", containsMs, kLookupGoalMs);
    std::printf("  rdm has-item     %8.1f ms a process (goal: under %.0f ms) %s\n", processMs, kProcessGoalMs,
                met ? "met" : "MISSED");
    check(std::system(("rm -rf '" + home + "'").c_str()) == 0, "rm", home);
    return met ? 0 : 1;
}
