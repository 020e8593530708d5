// Running the built rdm binary in a temporary home folder.
#include "rdm_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "repadm.h"

namespace {

std::string readAll(FILE* pipe) {
    std::string text;
    std::array<char, 4096> buffer{};
    size_t read = 0;
    while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) text.append(buffer.data(), read);
    return text;
}

}  // namespace

CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    result.output = readAll(pipe);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

CommandResult runRdm(const std::string& home, const std::string& arguments) {
    const std::string errorsFile = home + "/.rdm-stderr-" + std::to_string(getpid());
    CommandResult result = runCommand(std::string(RDM_BINARY_DIR) + "/rdm --home '" + home + "' " + arguments +
                                      " 2>'" + errorsFile + "' </dev/null");
    std::ifstream errors(errorsFile);
    std::stringstream text;
    text << errors.rdbuf();
    result.errors = text.str();
    result.output += result.errors;
    std::remove(errorsFile.c_str());
    return result;
}

std::map<std::string, int> tableCounts(RefDataStore* store) {
    std::map<std::string, int> counts;
    StoreResultSet* rows = store->listTableCounts();
    if (rows == nullptr) return counts;
    while (rows->next() == 1) counts[rows->getString(0).str()] = rows->getInt(1);
    rows->release();
    return counts;
}

std::map<std::string, int> tableCounts() {
    std::map<std::string, int> counts;
    RepositoryAdmin* admin = createRepositoryAdmin(1, 0);
    if (admin == nullptr) return counts;
    Repository* data = admin->openRepositoryByDsn(QxbString("sqlite:data/demo.db"), QxbString("kiv_rdm_"), 0, 0);
    if (data != nullptr) {
        RefDataStore* store = data->createStore();
        counts = tableCounts(store);
        store->release();
        data->release();
    }
    admin->release();
    return counts;
}
