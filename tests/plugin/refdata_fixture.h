// A repository with reference data for the plug-in tests, built in a
// temporary home folder through the store library directly:
// - "COLORS": five versions (1 to 5) and no items;
// - "SIZES": one version (1) with the items S and M, S with the attribute
//   "LABEL" in English ("Small") and M without values.
#pragma once

#include <string>

#include "temp_home.h"

class RefDataFixture {
public:
    static constexpr const char* kRepository = "plugintest";
    // Creates the repository; with withData false it has no domains.
    explicit RefDataFixture(bool withData = true);
    const TempHome& home() const { return home_; }
    // Empty when the repository and its data were made; else why not.
    const std::string& error() const { return error_; }

private:
    bool fill();
    TempHome home_;
    std::string error_;
};
