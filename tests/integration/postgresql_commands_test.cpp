// rdm on a repository shared through PostgreSQL: import, edit, copy,
// removals, listings and the item-list step answer what they answer on
// SQLite, and two writers at once both land. Needs the server that
// RDM_TEST_POSTGRESQL names (scripts/test starts one); skipped without it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "rdm_runner.h"
#include "server_schema.h"
#include "temp_home.h"

namespace {

std::string releaseCsv(int items, int changeEvery) {
    std::string csv = "key,label,parent,name@en,name@de,note\n";
    for (int n = 0; n < items; ++n) {
        const std::string number = std::to_string(n);
        const std::string parent = n % 10 == 0 ? "" : "K" + std::to_string(n - n % 10);
        const bool changed = changeEvery > 0 && n % changeEvery == 0;
        csv += "K" + number + ",Item " + number + "," + parent + ",name " + number + ",\"Grüße, " + number +
               (changed ? " (neu)" : "") + "\"," + (n % 7 ? "note " + number : std::string()) + "\n";
    }
    return csv;
}

struct Step {
    std::string arguments;  // after "rdm --home HOME", with REPO for the repository
    int status;
};

// Import, edit, copy, removal, listings, the key lookup and the item-list
// step, in this order; the outputs with their dates masked (creation times
// differ between two runs).
std::vector<std::string> scenario(const TempHome& home, const std::string& repository) {
    const std::vector<Step> steps = {
        {"import REPO D FOLDER/first.csv --quiet", 0},
        {"import REPO D FOLDER/second.csv --quiet", 0},
        {"edit REPO D --edit 'relabel,K5,Five' --edit remove,K20", 0},
        {"items REPO D --format csv", 0},
        {"export REPO D --version 1", 0},
        {"export REPO D --format jsonl", 0},
        {"diff REPO D --from 1 --to 3", 0},
        {"has-item REPO D K5", 0},
        {"has-item REPO D K20", 1},
        {"copy REPO D --name D2", 0},
        {"items REPO D2 --format csv", 0},
        {"remove REPO D2", 0},
        {"domains REPO --all-versions --format csv", 0},
        {"step RDM_ITEM_LIST --repository REPO --param DOM_VAL=D --param VER_VAL=2 --format csv", 0},
        {"step RDM_DOMAIN_LIST --repository REPO --format csv", 0},
    };
    const std::regex moment("[0-9]{4}-[0-9]{2}-[0-9]{2}[ T][0-9]{2}:[0-9]{2}:[0-9]{2}");
    std::vector<std::string> outputs;
    for (const Step& step : steps) {
        std::string arguments = step.arguments;
        arguments.replace(arguments.find("REPO"), 4, repository);
        const std::size_t folder = arguments.find("FOLDER");
        if (folder != std::string::npos) arguments.replace(folder, 6, "'" + home.path() + "'");
        const CommandResult result = runRdm(home.path(), arguments);
        EXPECT_EQ(result.status, step.status) << repository << ": " << arguments << "\n" << result.output;
        outputs.push_back(step.arguments + ": " +
                          std::regex_replace(result.output, moment, "MOMENT"));
    }
    return outputs;
}

TEST(PostgresqlCommands, EveryCommandAnswersAsOnSqlite) {
    ServerSchema schema;
    if (schema.dsn().empty()) GTEST_SKIP() << "no PostgreSQL server (RDM_TEST_POSTGRESQL) " << schema.error();
    TempHome home;
    home.writeFile("first.csv", releaseCsv(300, 0));
    home.writeFile("second.csv", releaseCsv(300, 30));
    ASSERT_EQ(runRdm(home.path(), "repo create lite").status, 0);
    const CommandResult created = runRdm(home.path(), "repo create shared --dsn '" + schema.dsn() + "'");
    ASSERT_EQ(created.status, 0) << created.output;
    const std::vector<std::string> onSqlite = scenario(home, "lite");
    const std::vector<std::string> onPostgresql = scenario(home, "shared");
    ASSERT_EQ(onPostgresql.size(), onSqlite.size());
    for (std::size_t i = 0; i < onSqlite.size(); ++i) EXPECT_EQ(onPostgresql[i], onSqlite[i]);
}

// Two processes import new versions of one domain at the same moment: the
// second waits for the first, then both land with numbers of their own.
TEST(PostgresqlCommands, TwoWritersAtOnceBothLandWithVersionsOfTheirOwn) {
    ServerSchema schema;
    if (schema.dsn().empty()) GTEST_SKIP() << "no PostgreSQL server (RDM_TEST_POSTGRESQL) " << schema.error();
    TempHome home;
    home.writeFile("first.csv", releaseCsv(2000, 0));
    home.writeFile("second.csv", releaseCsv(2000, 10));
    home.writeFile("third.csv", releaseCsv(2000, 20));
    ASSERT_EQ(runRdm(home.path(), "repo create shared --dsn '" + schema.dsn() + "'").status, 0);
    ASSERT_EQ(runRdm(home.path(), "import shared D '" + home.file("first.csv") + "' --quiet").status, 0);
    const std::string rdm = std::string(RDM_BINARY_DIR) + "/rdm --home '" + home.path() + "' ";
    const CommandResult both = runCommand("(" + rdm + "import shared D '" + home.file("second.csv") + "' --quiet & " + rdm +
                                          "import shared D '" + home.file("third.csv") +
                                          "' --quiet; status=$?; wait $! && exit $status)");
    EXPECT_EQ(both.status, 0) << both.output;
    const CommandResult versions = runRdm(home.path(), "versions shared D --format csv");
    ASSERT_EQ(versions.status, 0) << versions.output;
    std::set<std::string> numbers;
    std::size_t lines = 0;
    for (std::size_t at = versions.output.find('\n'); at != std::string::npos && at + 1 < versions.output.size();
         at = versions.output.find('\n', at + 1)) {
        const std::size_t start = versions.output.find(',', versions.output.find(',', at + 1) + 1) + 1;
        numbers.insert(versions.output.substr(start, versions.output.find(',', start) - start));
        ++lines;
    }
    EXPECT_EQ(lines, 3u) << versions.output;
    EXPECT_EQ(numbers, (std::set<std::string>{"1", "2", "3"})) << versions.output;
}

}  // namespace
