// rdm edit against rdm import, end to end, on a domain of 100,000 items with
// 300,000 values in one stored version (goal: an edit of 1,000 lines takes
// at most 1.5x the import of the domain's export). Both run as rdm processes
// in a fresh home folder: the edit begins a session (catalogues and the
// domain loaded whole), applies the edits and commits a new version; the
// import reads the export and writes it as a new domain. Prints both times
// and the ratio; exits 1 when the goal is missed. An argument sets another
// item count.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const double kGoalRatio = 1.5;

std::string home;

void run(const std::string& arguments) {
    const std::string command = std::string(RDM_BINARY_DIR) + "/rdm --home '" + home + "' " + arguments;
    const int status = std::system(command.c_str());
    if (status != 0) {
        std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
        std::exit(1);
    }
}

double timed(const std::string& arguments) {
    const auto start = std::chrono::steady_clock::now();
    run(arguments);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void writeDomain(const std::string& path, int items) {
    std::ofstream csv(path);
    csv << "key,label,parent,name@en,name@de,note\n";
    for (int n = 0; n < items; ++n) {
        const std::string parent = n % 10 == 0 ? "" : "K" + std::to_string(n - n % 10);
        csv << 'K' << n << ",Item " << n << ',' << parent << ",name " << n << ",Name " << n << ",note " << n
            << '\n';
    }
}

// 1,000 edits spread over the domain: relabels, values set and cleared,
// new items, moves, removals and an attribute added and used.
void writeEdits(const std::string& path, int items) {
    std::ofstream csv(path);
    csv << "action,key,label,parent,attribute,language,value\n";
    csv << "add-attribute,,,,status,,\n";
    const int step = items / 200;
    for (int i = 0; i < 200; ++i) {
        const std::string key = "K" + std::to_string(i * step + 1);
        csv << "relabel," << key << ",Relabelled " << i << ",,,,\n";
        csv << "set," << key << ",,,name,fr,nom " << i << "\n";
        csv << "set," << key << ",,,status,en,active\n";
        csv << "clear," << key << ",,,note,en,\n";
        csv << "add,NEW" << i << ",New " << i << ",K" << i * step << ",,,\n";
    }
    for (int i = 0; i < 9; ++i) csv << "move,K" << (i * step + 3) << ",,,,,\n";
    csv << "remove,K" << (items / 2) << ",,,,,\n";  // with its nine children
}

}  // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::atoi(argv[1]) : 100000;
    char folder[] = "/tmp/rdm-edit-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    home = folder;
    run("repo create demo >/dev/null");
    writeDomain(home + "/domain.csv", items);
    writeEdits(home + "/edits.csv", items);
    const double load = timed("import demo big '" + home + "/domain.csv' --quiet >/dev/null");
    run("export demo big > '" + home + "/export.csv'");
    const double import = timed("import demo again '" + home + "/export.csv' --quiet >/dev/null");
    const double edit = timed("edit demo big --file '" + home + "/edits.csv' >/dev/null");
    const double ratio = edit / import;
    std::printf("items %d, values %d: first import %.2f s\n", items, 3 * items, load);
    std::printf("rdm import of the export: %.2f s\nrdm edit (1,000 lines):    %.2f s\nratio %.2f (goal <= %.1f): %s\n",
                import, edit, ratio, kGoalRatio, ratio <= kGoalRatio ? "met" : "MISSED");
    run("versions demo big");
    std::system(("rm -rf '" + home + "'").c_str());
    return ratio <= kGoalRatio ? 0 : 1;
}
