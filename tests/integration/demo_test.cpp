// scripts/demo, run twice in a row on the built rdm: the first run creates
// and fills the demo repository, the second reuses it.
#include <gtest/gtest.h>
#include <string>

#include "rdm_runner.h"
#include "temp_home.h"

namespace {

CommandResult runDemo(const std::string& home) {
    return runCommand("RDM_BIN='" + std::string(RDM_BINARY_DIR) + "/rdm' RDM_DEMO_HOME='" + home + "' '" +
                      std::string(RDM_SOURCE_DIR) + "/scripts/demo' 2>&1 </dev/null");
}

TEST(Demo, RunsTwiceInARow) {
    TempHome home;
    const std::string demoHome = home.path() + "/demo";
    const CommandResult first = runDemo(demoHome);
    ASSERT_EQ(first.status, 0) << first.output;
    EXPECT_NE(first.output.find("creating the repository 'demo'"), std::string::npos) << first.output;
    EXPECT_NE(first.output.find("Czechia"), std::string::npos) << "the newest countries" << first.output;
    EXPECT_EQ(first.output.find("Norway"), std::string::npos) << "removed in the newest version";
    EXPECT_NE(first.output.find("Currencies"), std::string::npos) << first.output;
    EXPECT_NE(first.output.find("row(s) processed"), std::string::npos) << first.output;

    const CommandResult second = runDemo(demoHome);
    ASSERT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(second.output.find("creating the repository"), std::string::npos) << second.output;
    EXPECT_NE(second.output.find("Czechia"), std::string::npos) << second.output;
}

}  // namespace
