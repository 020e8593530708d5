// The home folder: where it is found, its creation and path resolution.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "qxbcpp.h"
#include "temp_home.h"

namespace {

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        hadValue_ = old != nullptr;
        if (old) old_ = old;
        if (value) setenv(name, value, 1); else unsetenv(name);
    }
    ~ScopedEnv() {
        if (hadValue_) setenv(name_.c_str(), old_.c_str(), 1); else unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool hadValue_;
};

int modeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 0777) : -1;
}

}  // namespace

TEST(HomeFolderTest, ChosenByOverrideThenEnvironment) {
    ScopedEnv rdm("RDM_HOME", "/srv/rdm/");
    ScopedEnv xdg("XDG_DATA_HOME", "/data");
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ("/srv/rdm", qxbHomeFolder());
    qxbSetHomeFolder("/chosen//");
    EXPECT_EQ("/chosen", qxbHomeFolder());
    qxbSetHomeFolder(nullptr);
    EXPECT_EQ("/srv/rdm", qxbHomeFolder());
    {
        ScopedEnv noRdm("RDM_HOME", nullptr);
        EXPECT_EQ("/data/rdm", qxbHomeFolder());
        ScopedEnv noXdg("XDG_DATA_HOME", "");
        EXPECT_EQ("/home/someone/.local/share/rdm", qxbHomeFolder());
    }
}

TEST(HomeFolderTest, ResolvesRelativePathsOnly) {
    qxbSetHomeFolder("/base");
    EXPECT_EQ("/base/logs/x.log", qxbResolveHomePath("logs/x.log"));
    EXPECT_EQ("/abs/x.db", qxbResolveHomePath("/abs/x.db"));
    EXPECT_EQ("/base", qxbResolveHomePath(""));
    qxbSetHomeFolder(nullptr);
}

TEST(HomeFolderTest, EnsureCreatesPrivateFolders) {
    TempHome temp;
    const std::string home = temp.file("a/b/rdm");
    qxbSetHomeFolder(home.c_str());
    QxbString error;
    ASSERT_TRUE(qxbEnsureHomeFolder(&error)) << error.asCstr();
    EXPECT_EQ(0700, modeOf(home));
    EXPECT_EQ(0700, modeOf(home + "/repositories"));
    EXPECT_EQ(0700, modeOf(home + "/logs"));
    EXPECT_TRUE(qxbEnsureHomeFolder(&error)) << "a second call finds everything in place";
}

TEST(HomeFolderTest, EnsureReportsWhatBlocksIt) {
    TempHome temp;
    temp.writeFile("logs", "a file, not a folder");
    QxbString error;
    EXPECT_FALSE(qxbEnsureHomeFolder(&error));
    EXPECT_NE(std::string::npos, error.str().find(temp.file("logs"))) << error.asCstr();
}
