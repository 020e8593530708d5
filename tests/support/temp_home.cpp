// TempHome: creates and removes a temporary home folder around a test.
#include "temp_home.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>

#include "qxbcpp.h"

namespace fs = std::filesystem;

TempHome::TempHome() {
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    std::string pattern = (error ? fs::path("/tmp") : base).string() + "/rdm-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        ADD_FAILURE() << "cannot create a temporary home folder from " << pattern;
        return;
    }
    path_ = buffer.data();
    qxbSetHomeFolder(path_.c_str());
}

TempHome::~TempHome() {
    qxbSetHomeFolder(nullptr);
    if (path_.empty()) return;
    std::error_code error;
    fs::remove_all(path_, error);
}

std::string TempHome::file(const std::string& relative) const { return path_ + "/" + relative; }

void TempHome::writeFile(const std::string& relative, const std::string& content) const {
    const fs::path target = file(relative);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) ADD_FAILURE() << "cannot write " << target;
}

std::string TempHome::readFile(const std::string& relative) const {
    std::ifstream in(file(relative), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool TempHome::exists(const std::string& relative) const {
    std::error_code error;
    return fs::exists(file(relative), error);
}
