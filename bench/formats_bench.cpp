// rdm export and import in each file format against CSV, in one run. A
// fresh home folder gets a domain of 350,000 items by default (an argument
// gives another count) from the CSV scale_bench writes: a hierarchy (every
// item but each tenth under the tenth before it), name@en and name@de on
// every item and a note on 6 of 7. Then, as whole rdm processes:
//
//   export   rdm export of the domain in csv, json, jsonl, fhir and skos,
//            each to a file;
//   import   rdm import of each of those files into a repository of its
//            own (so every import writes the same rows into an empty store).
//
// Each imported domain is exported again as CSV, untimed, and compared with
// the original's CSV export: a format that lost anything stops the run.
// Prints each format's times, file size and ratio against CSV with the goal
// (at most 2x CSV, export and import alike). It is a report: it exits 0
// when a goal is missed (the table says MISSED) and 1 only when a command
// fails or a round trip differs.
#include <unistd.h>

#include <sys/stat.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "release_data.h"

namespace {

const double kGoalRatio = 2.0;
const char* const kFormats[] = {"csv", "json", "jsonl", "fhir", "skos"};

std::string home;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "formats_bench: %s\n", what.c_str());
    std::exit(1);
}

void writeCsv(const std::string& path, int items) {
    if (!benchdata::writeReleaseCsv(path, items)) fail("cannot write " + path);
}

void rdm(const std::string& arguments) {
    const std::string command = std::string(RDM_BINARY_DIR) + "/rdm --home '" + home + "' " + arguments;
    const int status = std::system(command.c_str());
    if (status != 0) fail("failed (" + std::to_string(status) + "): " + command);
}

double timedRdm(const std::string& arguments) {
    const auto start = std::chrono::steady_clock::now();
    rdm(arguments);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

double megabytes(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? static_cast<double>(status.st_size) / 1e6 : 0.0;
}

struct Result {
    std::string format;
    double exportSeconds = 0, importSeconds = 0, size = 0;
};

const char* verdict(double ratio) {
    return ratio <= kGoalRatio ? "met" : "MISSED";
}

}  // namespace

int main(int argc, char** argv) {
    int items = 350000;
    if (argc > 1) {
        char* end = nullptr;
        const long count = std::strtol(argv[1], &end, 10);
        if (argc > 2 || end == argv[1] || *end != '\0' || count < 10 || count > 10000000) {
            std::fprintf(stderr, "usage: %s [ITEMS]  (10 to 10,000,000; default 350000)\n", argv[0]);
            return 2;
        }
        items = static_cast<int>(count);
    }
    char folder[] = "/tmp/rdm-formats-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) fail("mkdtemp failed");
    home = folder;
    rdm("repo create demo >/dev/null");
    writeCsv(home + "/domain.csv", items);
    std::fprintf(stderr, "%d items: import ...", items);
    rdm("import demo big '" + home + "/domain.csv' --quiet >/dev/null");

    std::vector<Result> results;
    for (const char* format : kFormats) {
        std::fprintf(stderr, " export %s ...", format);
        Result result;
        result.format = format;
        const std::string file = home + "/export." + format;
        result.exportSeconds =
            timedRdm(std::string("export demo big --format ") + format + " > '" + file + "'");
        result.size = megabytes(file);
        results.push_back(result);
    }
    const std::string original = readFile(home + "/export.csv");
    for (Result& result : results) {
        std::fprintf(stderr, " import %s ...", result.format.c_str());
        const std::string repository = "into_" + result.format;
        rdm("repo create " + repository + " >/dev/null");
        result.importSeconds =
            timedRdm("import " + repository + " big '" + home + "/export." + result.format + "' --format " +
                     result.format + " --quiet >/dev/null");
        const std::string back = home + "/back." + result.format + ".csv";
        rdm("export " + repository + " big > '" + back + "'");
        if (readFile(back) != original)
            fail("the " + result.format + " round trip changed the items (see " + back + ")");
    }
    std::fprintf(stderr, " done\n");

    const Result& csv = results.front();
    std::printf(
        "\nrdm export and import of %d items in each format (whole processes; goal: at most %.0fx CSV)\n\n",
        items, kGoalRatio);
    std::printf("%-6s %9s %12s %8s %7s %12s %8s %7s\n", "format", "file (MB)", "export (s)", "ratio", "goal",
                "import (s)", "ratio", "goal");
    for (const Result& r : results) {
        const double exportRatio = r.exportSeconds / csv.exportSeconds;
        const double importRatio = r.importSeconds / csv.importSeconds;
        std::printf("%-6s %9.1f %12.3f %8.2f %7s %12.3f %8.2f %7s\n", r.format.c_str(), r.size,
                    r.exportSeconds, exportRatio, verdict(exportRatio), r.importSeconds, importRatio,
                    verdict(importRatio));
    }
    if (std::system(("rm -rf '" + home + "'").c_str()) != 0) fail("cannot remove " + home);
    return 0;
}
