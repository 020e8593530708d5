// The plug-in's steps and discovery lists on a repository with reference
// data, driven through the engine host.
#include <dlfcn.h>

#include "engine/step_host.h"
#include "log_capture.h"
#include "plugin_test_support.h"
#include "qxlog.h"
#include "refdata_fixture.h"

namespace {

const char* const kRepo = RefDataFixture::kRepository;

class PluginData : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        ASSERT_EQ(fixture_.error(), "");
    }
    std::string message(int code) {
        return qxb_get_message("", 0, "Reference Data Plugin", code).str();
    }
    RefDataFixture fixture_;
};

TEST_F(PluginData, ValueModeRunsOneQueryAndCountsPlainly) {
    const EngineStepResult current = run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_VAL", "COLORS"}});
    EXPECT_EQ(current.answer, 1);
    EXPECT_TRUE(current.errors.empty()) << current.errors[0];
    EXPECT_EQ(column(current, "VERSION"), std::vector<std::string>{"5"});
    EXPECT_EQ(column(current, "VERSION_LABEL"), std::vector<std::string>{"v5"});
    EXPECT_EQ(column(current, "ACCOUNT"), std::vector<std::string>{"tester"});
    EXPECT_EQ(current.status, "1 row(s) processed");

    const EngineStepResult all = run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_VAL", "COLORS"}, {"CURRENT", "false"}});
    EXPECT_EQ(column(all, "VERSION"), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(all.status, "5 row(s) processed");
}

TEST_F(PluginData, CreateDateIsTypedAsADate) {
    const EngineStepResult result = run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_VAL", "SIZES"}});
    ASSERT_EQ(result.output.rows.size(), 1u);
    const QxbDatavar& date = result.output.rows[0].back();
    EXPECT_EQ(date.type(), QXB_TYPE_DATE);
    EXPECT_GT(date.asDate().value(), 2460000.0);  // stamped when the version was stored
}

TEST_F(PluginData, ValueModeWithUpstreamButNoFieldMapIgnoresTheRows) {
    const EngineTable input = textTable({"X"}, {{"a"}, {"b"}});
    const EngineStepResult result = run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_VAL", "SIZES"}}, &input);
    EXPECT_EQ(column(result, "NAME"), std::vector<std::string>{"SIZES"});
    EXPECT_EQ(result.status, "1 row(s) processed");
}

TEST_F(PluginData, FieldMapRepeatsTheQueryForEveryUpstreamRow) {
    const EngineTable input = textTable({"BATCH", "OTHER"}, {{"b1", "x"}, {"b2", "y"}, {"b3", "z"}});
    const EngineStepResult result =
        run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_VAL", "COLORS"}, {"CURRENT", "no"}, {"FIELD_MAP", "BATCH"}}, &input);
    EXPECT_EQ(result.answer, 1);
    ASSERT_EQ(result.output.rows.size(), 15u);
    EXPECT_EQ(result.output.fields[0], "BATCH");
    const std::vector<std::string> batches = column(result, "BATCH");
    EXPECT_EQ(batches[0], "b1");
    EXPECT_EQ(batches[4], "b1");
    EXPECT_EQ(batches[5], "b2");
    EXPECT_EQ(batches[14], "b3");
    EXPECT_EQ(result.status, "15 row(s) processed, 10 were repeated");
}

TEST_F(PluginData, FieldModeTakesTheNameFromEachRow) {
    const EngineTable input = textTable({"DOM"}, {{"SIZES"}, {"COLORS"}});
    const EngineStepResult result =
        run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_TYPE", "field"}, {"INPUT_VAL", "DOM"}, {"FIELD_MAP", "DOM=ASKED"}}, &input);
    EXPECT_EQ(result.answer, 1);
    EXPECT_EQ(column(result, "NAME"), (std::vector<std::string>{"SIZES", "COLORS"}));
    EXPECT_EQ(column(result, "ASKED"), (std::vector<std::string>{"SIZES", "COLORS"}));
    EXPECT_EQ(result.status, "2 row(s) processed");
    EXPECT_EQ(result.inputNames, (std::vector<std::string>{"DOM", "DOM"}));
}

TEST_F(PluginData, NullUpstreamValueFailsWith923BeforeAnyQuery) {
    const EngineTable input = textTable({"DOM"}, {{nullptr}});
    LogCapture log;
    const EngineStepResult result = run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_TYPE", "field"}, {"INPUT_VAL", "DOM"}}, &input);
    EXPECT_EQ(result.answer, 2);
    EXPECT_EQ(result.errors, std::vector<std::string>{message(923)});
    EXPECT_FALSE(log.hasLineContaining(QXLOG_INFO, "getDomainWithDetails")) << log.dump();
    EXPECT_EQ(result.progressPercent, 100);
    EXPECT_EQ(result.progressText, "Complete");
}

TEST_F(PluginData, UnknownUpstreamFieldFailsWith404) {
    const EngineTable input = textTable({"DOM"}, {{"SIZES"}});
    const EngineStepResult domains =
        run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_TYPE", "field"}, {"INPUT_VAL", "NOPE"}}, &input);
    EXPECT_EQ(domains.errors, std::vector<std::string>{message(404)});
    const EngineStepResult items =
        run("RDM_ITEM_LIST", kRepo, {{"DOM_VAL", "SIZES"}, {"VER_TYPE", "field"}, {"VER_VAL", "NOPE"}}, &input);
    EXPECT_EQ(items.errors, std::vector<std::string>{message(404)});
}

TEST_F(PluginData, FieldModeWithoutUpstreamStepFails) {
    const EngineStepResult result = run("RDM_ITEM_LIST", kRepo, {{"DOM_TYPE", "field"}, {"DOM_VAL", "DOM"}});
    EXPECT_EQ(result.errors, std::vector<std::string>{"Filter field specified but no parent node found"});
    const EngineStepResult domains = run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_TYPE", "field"}, {"INPUT_VAL", "DOM"}});
    EXPECT_EQ(domains.errors, std::vector<std::string>{"Filter field specified but no parent node found"});
}

TEST_F(PluginData, FieldMapWithoutUpstreamStepFailsNamingTheField) {
    const std::pair<const char*, const char*> steps[] = {{"RDM_DOMAIN_LIST", "INPUT_VAL"},
                                                         {"RDM_ITEM_LIST", "DOM_VAL"}};
    for (const auto& [stepName, domainParam] : steps) {
        const EngineStepResult result =
            run(stepName, kRepo, {{domainParam, "SIZES"}, {"FIELD_MAP", " NOTE = N "}});
        EXPECT_EQ(result.answer, 2) << stepName;
        EXPECT_TRUE(result.output.rows.empty()) << stepName;
        ASSERT_FALSE(result.errors.empty()) << stepName;
        EXPECT_NE(result.errors[0].find("'NOTE'"), std::string::npos) << result.errors[0];
    }
}

TEST_F(PluginData, UnknownDomainReportsTheLibrarysText) {
    const EngineStepResult result = run("RDM_DOMAIN_LIST", kRepo, {{"INPUT_VAL", "GHOSTS"}});
    EXPECT_EQ(result.answer, 2);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_NE(result.errors[0].find("GHOSTS"), std::string::npos) << result.errors[0];
}

TEST_F(PluginData, ItemListEmitsItemsWithTheirValues) {
    const EngineStepResult result = run("RDM_ITEM_LIST", kRepo, {{"DOM_VAL", "SIZES"}, {"VER_VAL", "1"}});
    EXPECT_EQ(result.answer, 1) << (result.errors.empty() ? "" : result.errors[0]);
    EXPECT_EQ(column(result, "ITEM_KEY"), (std::vector<std::string>{"S", "M"}));
    EXPECT_EQ(column(result, "ITEM_LABEL"), (std::vector<std::string>{"Small size", "medium"}));
    EXPECT_EQ(column(result, "ATTRIBUTE_VALUE"), (std::vector<std::string>{"Small", "<null>"}));
    EXPECT_EQ(column(result, "ATTRIBUTE_NAME"), (std::vector<std::string>{"LABEL", "<null>"}));
    EXPECT_EQ(column(result, "LANGUAGE"), (std::vector<std::string>{"en", "<null>"}));
    EXPECT_EQ(column(result, "DOMAIN_VERSION"), (std::vector<std::string>{"1", "1"}));
    EXPECT_EQ(result.status, "2 row(s) processed");
}

TEST_F(PluginData, VersionValueNullAsksForNoVersionAndMinusOneForTheNewest) {
    LogCapture log;
    run("RDM_ITEM_LIST", kRepo, {{"DOM_VAL", "SIZES"}});
    EXPECT_TRUE(log.hasLineContaining(QXLOG_INFO, "getDomainItemsWithAttributes(name='SIZES',version=-1)")) << log.dump();
    log.clear();
    const EngineStepResult newest = run("RDM_ITEM_LIST", kRepo, {{"DOM_VAL", "SIZES"}, {"VER_VAL", "-1"}});
    EXPECT_TRUE(log.hasLineContaining(QXLOG_INFO, "getDomainItemsWithAttributes(name='SIZES',version=0)")) << log.dump();
    EXPECT_EQ(column(newest, "ITEM_KEY"), (std::vector<std::string>{"S", "M"}));
}

TEST_F(PluginData, VersionFromFieldQueriesPerRowWithPlainStatus) {
    const EngineTable input = textTable({"VER"}, {{"1"}, {"1"}});
    const EngineStepResult result =
        run("RDM_ITEM_LIST", kRepo, {{"DOM_VAL", "SIZES"}, {"VER_TYPE", "field"}, {"VER_VAL", "VER"}}, &input);
    EXPECT_EQ(column(result, "ITEM_KEY"), (std::vector<std::string>{"S", "M", "S", "M"}));
    EXPECT_EQ(result.status, "4 row(s) processed");
}

TEST_F(PluginData, NullUpstreamDomainFailsTheItemListWith923) {
    const EngineTable input = textTable({"DOM", "VER"}, {{nullptr, "1"}});
    LogCapture log;
    const EngineStepResult result = run("RDM_ITEM_LIST", kRepo,
                                        {{"DOM_TYPE", "field"}, {"DOM_VAL", "DOM"}, {"VER_TYPE", "field"}, {"VER_VAL", "VER"}},
                                        &input);
    EXPECT_EQ(result.answer, 2);
    EXPECT_EQ(result.errors, std::vector<std::string>{message(923)});
    EXPECT_FALSE(log.hasLineContaining(QXLOG_INFO, "getDomainItemsWithAttributes")) << log.dump();
}

TEST_F(PluginData, DiscoveryListsDomainsAndVersions) {
    EngineStepRequest request;
    request.variables.push_back({"_CURRENT_REPOSITORY", kRepo});
    EngineTable table;
    std::vector<std::string> errors;
    request.stepName = "RDM_DOMAIN_LIST";
    ASSERT_TRUE(plugin_->discover(request, &table, &errors)) << errors[0];
    ASSERT_EQ(table.fields.size(), 3u);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0][1].asString().str(), "COLORS");
    EXPECT_EQ(table.rows[1][2].asString().str(), "The SIZES");

    request.stepName = "RDM_ITEM_LIST";
    ASSERT_TRUE(plugin_->discover(request, &table, &errors)) << errors[0];
    ASSERT_EQ(table.fields.size(), 5u);
    ASSERT_EQ(table.rows.size(), 6u);  // every version of every domain
    EXPECT_EQ(table.rows[5][1].asString().str(), "SIZES");
    EXPECT_EQ(table.rows[5][3].asString().str(), "1");
    EXPECT_EQ(table.rows[5][4].asString().str(), "v1");
}

// A host may keep a step and run it again: every run starts from zero and
// reads the parameters given for it, also when only prepare is called again.
TEST_F(PluginData, AStepRunTwiceOnOneInstanceStartsAfresh) {
    void* library = dlopen(pluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto create = reinterpret_cast<StepCreateFactoryFunction>(dlsym(library, STEP_FACTORY_SYMBOL));
    ASSERT_NE(create, nullptr);
    StepPluginFactory* factory = create();
    StepPluginStep* step = factory->getStepCreator(0)();
    EngineStepRequest request;
    request.variables.push_back({"_CURRENT_REPOSITORY", kRepo});
    engine::StepHost host(request);
    int a = 0, b = 0;
    ASSERT_TRUE(step->initialize(&host, &a, &b));

    struct Run {
        std::vector<std::pair<std::string, std::string>> params;
        std::vector<std::string> versions;
        const char* status;
    };
    const Run runs[] = {
        {{{"INPUT_VAL", "COLORS"}, {"CURRENT", "false"}}, {"1", "2", "3", "4", "5"}, "5 row(s) processed"},
        {{{"INPUT_VAL", "SIZES"}, {"CURRENT", "true"}}, {"1"}, "1 row(s) processed"},
    };
    EngineStepResult result;
    for (const Run& r : runs) {
        request.params = r.params;
        ASSERT_TRUE(host.applyParams(request));
        if (&r == &runs[0]) {
            ASSERT_EQ(step->defineOutputs(0), 7);
            host.describeOutputs(&result.output);
        }
        ASSERT_TRUE(step->prepare()) << r.status;
        result.output.rows.clear();
        while ((result.answer = step->getNextRow(0)) == 0) host.keepOutputRow(&result.output);
        step->finish();
        int percent = -1;
        QxbString text;
        ASSERT_TRUE(step->getProgress(&percent, &text));
        EXPECT_EQ(result.answer, 1) << r.status;
        EXPECT_EQ(column(result, "VERSION"), r.versions) << r.status;
        EXPECT_EQ(host.status(), r.status);
        EXPECT_EQ(percent, 100) << r.status;
        EXPECT_EQ(text.str(), "Complete") << r.status;
    }
    EXPECT_TRUE(host.takeErrors().empty());
    step->destroy();
    factory->destroy();
    dlclose(library);
}

using PluginEmptyRepository = PluginTest;

TEST_F(PluginEmptyRepository, DiscoveryAnswersEmptyLists) {
    const RefDataFixture empty(false);
    ASSERT_EQ(empty.error(), "");
    const std::pair<const char*, std::size_t> lists[] = {{"RDM_DOMAIN_LIST", 3}, {"RDM_ITEM_LIST", 5}};
    for (const auto& [stepName, columns] : lists) {
        EngineStepRequest request;
        request.stepName = stepName;
        request.variables.push_back({"_CURRENT_REPOSITORY", kRepo});
        EngineTable table;
        std::vector<std::string> errors;
        EXPECT_TRUE(plugin_->discover(request, &table, &errors)) << (errors.empty() ? stepName : errors[0]);
        EXPECT_EQ(table.fields.size(), columns) << stepName;
        EXPECT_TRUE(table.rows.empty()) << stepName;
    }
}

}  // namespace
