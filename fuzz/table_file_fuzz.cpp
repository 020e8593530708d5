// rdm's import reader (FUZZ_TABLE_FORMAT "csv", "json", "jsonl", "fhir" or
// "skos") on any file. A failure must say why, naming the file; a success
// must answer a table whose every row has one text, one line number and one
// presence flag per column.
#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "table_file.h"

namespace {

// The reader takes a path: the input goes to an in-memory file named by its
// descriptor, which spares the disk a write and a read for every input.
int inputFile() {
    static const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = inputFile();
    FUZZ_CHECK(ftruncate(fd, 0) == 0);
    FUZZ_CHECK(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    rdm::TableFile table;
    std::string error;
    if (!rdm::readTableFile(path, FUZZ_TABLE_FORMAT, &table, &error)) {
        FUZZ_CHECK(error.find(path) != std::string::npos);
        return 0;
    }
    FUZZ_CHECK(table.lines.size() == table.rows.size() && table.present.size() == table.rows.size());
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        FUZZ_CHECK(table.rows[i].size() == table.columns.size());
        FUZZ_CHECK(table.present[i].size() == table.columns.size());
        FUZZ_CHECK(table.lines[i] > 0 && (i == 0 || table.lines[i] > table.lines[i - 1]));
    }
    return 0;
}
