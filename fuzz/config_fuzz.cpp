// The configuration reader on any config.toml: the input is written to the
// home folder's config.toml and read through qxbGetConfigOptions, as every
// command reads it. A failure must say why and name the file; a success must
// answer every data source it counts.
#include <unistd.h>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "qxbcpp.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qxbSetHomeFolder(fuzz::scratchFolder().c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::scratchFolder() + "/config.toml";
    // The reader keeps what it read until the file changes; reading once
    // without the file makes the next read parse the new content whatever
    // its time stamp and size.
    unlink(path.c_str());
    FUZZ_CHECK(qxbGetConfigOptions(QxbString()) != nullptr);
    fuzz::writeFile(path, data, size);

    QxbConfigOptions* options = qxbGetConfigOptions(QxbString());
    if (options == nullptr) {
        const std::string error = qxbGetConfigError().str();
        FUZZ_CHECK(error.find(path) != std::string::npos);
        return 0;
    }
    const int count = options->dataSourceCount();
    FUZZ_CHECK(count >= 0);
    for (int i = 0; i < count; ++i) {
        QxbString name, connection, driver, description;
        FUZZ_CHECK(options->dataSource(i, &name, &connection, &driver, &description));
    }
    FUZZ_CHECK(!options->dataSource(count, nullptr, nullptr, nullptr, nullptr));
    QxbString value;
    options->get(QxbString("REFDATA/DSN"), &value, 0);
    return 0;
}
