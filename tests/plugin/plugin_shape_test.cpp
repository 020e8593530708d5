// The plug-in as the engine sees it before any data: its exports, its factory,
// the fields its steps describe and the failures that need no repository.
#include <dlfcn.h>

#include <cstdio>
#include <regex>
#include <set>

#include "plugin_test_support.h"
#include "temp_home.h"

namespace {

// The defined dynamic symbols of a library that are ours: standard-library
// template code (namespace std) and the linker's _init/_fini are left out.
std::set<std::string> ownExports(const std::string& library) {
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + library + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    static const std::regex line("^[0-9a-f]+ [TWiVDBRu] (\\S+)$");
    static const std::regex standard("^_Z(N|T[VIS]N?)?K?S[tabsiod]|^_ZSt|^_(init|fini|edata|end|_bss_start)$");
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string text(buffer);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        std::smatch match;
        if (std::regex_match(text, match, line) && !std::regex_search(match[1].str(), standard))
            names.insert(match[1].str());
    }
    pclose(pipe);
    return names;
}

TEST(PluginExports, EachLibraryExportsOnlyItsEntryPoint) {
    EXPECT_EQ(ownExports(pluginPath()), std::set<std::string>{"step_create_factory11"});
    EXPECT_EQ(ownExports(std::string(RDM_BINARY_DIR) + "/librdcore.so"),
              std::set<std::string>{"createReferenceDataSession"});
}

TEST(PluginFactory, AnswersItsTableAndConstants) {
    void* library = dlopen(pluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto create = reinterpret_cast<StepCreateFactoryFunction>(dlsym(library, STEP_FACTORY_SYMBOL));
    ASSERT_NE(create, nullptr);
    StepPluginFactory* factory = create();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->getVersion(), 2);
    EXPECT_EQ(factory->getStepTypeCount(), 2);
    EXPECT_EQ(factory->getStepName(1).str(), "RDM_ITEM_LIST");
    EXPECT_EQ(factory->getStepDisplayName(0).str(), "List Reference Data Domains");
    EXPECT_EQ(factory->getStepCreator(2), nullptr);
    EXPECT_FALSE(factory->getStepOption(0, 1));
    QxbString text;
    EXPECT_FALSE(factory->getStepAttribute(0, 1, &text));
    EXPECT_EQ(factory->getFlags(), 0);
    EXPECT_TRUE(factory->getStepHelp(0).length() == 0 && !factory->getStepHelp(0).isNull());
    EXPECT_EQ(factory->getStepIcon(1), 0);
    int kind = 0;
    EXPECT_FALSE(factory->getStepCategory(0, 1, &text, &kind));
    ASSERT_TRUE(factory->getStepCategory(1, 0, &text, &kind));
    EXPECT_EQ(text.str(), "di_dataflow");
    EXPECT_EQ(kind, 2);
    StepPluginStep* step = factory->getStepCreator(0)();
    ASSERT_NE(step, nullptr);
    std::int64_t total = 0;
    EXPECT_FALSE(step->getTotalRows(&total));
    step->destroy();
    factory->destroy();
    dlclose(library);
}

using PluginShape = PluginTest;

TEST_F(PluginShape, StepTypesThroughTheHost) {
    ASSERT_EQ(plugin_->getStepTypeCount(), 2);
    EngineStepType type;
    ASSERT_TRUE(plugin_->getStepType(0, &type));
    EXPECT_EQ(type.name.str(), "RDM_DOMAIN_LIST");
    EXPECT_EQ(type.category.str(), "di_dataflow");
    ASSERT_TRUE(plugin_->getStepType(1, &type));
    EXPECT_EQ(type.displayName.str(), "List Reference Data Domain Items");
}

TEST_F(PluginShape, DomainListDescribesItsFieldsEvenWhenPrepareFails) {
    const EngineStepResult result = run("RDM_DOMAIN_LIST", "", {});
    EXPECT_EQ(result.output.fields, (std::vector<std::string>{"ID", "NAME", "DESCRIPTION", "VERSION", "VERSION_LABEL",
                                                               "ACCOUNT", "TYPE", "SCOPE", "CREATE_DATE"}));
    EXPECT_EQ(result.output.types, (std::vector<int>{2, 4, 4, 2, 4, 4, 4, 4, 5}));
    EXPECT_EQ(result.output.lengths, (std::vector<int>{0, 255, 255, 0, 255, 255, 255, 255, 0}));
    EXPECT_EQ(result.output.byteLengths, (std::vector<int>{0, 1020, 1020, 0, 1020, 1020, 1020, 1020, 0}));
}

TEST_F(PluginShape, ItemListDescribesItsFieldsAfterPassThroughFields) {
    const EngineTable input = textTable({"CODE"}, {});
    const EngineStepResult result = run("RDM_ITEM_LIST", "", {{"FIELD_MAP", "CODE=UP_CODE"}}, &input);
    EXPECT_EQ(result.output.fields,
              (std::vector<std::string>{"UP_CODE", "ID", "ITEM_KEY", "ITEM_LABEL", "PARENT_ID", "ATTRIBUTE_VALUE",
                                        "ATTRIBUTE_NAME", "ATTRIBUTE_DESCRIPTION", "LANGUAGE", "DOMAIN",
                                        "DOMAIN_VERSION"}));
    EXPECT_EQ(result.output.types, (std::vector<int>{4, 2, 4, 4, 2, 4, 4, 4, 4, 4, 2}));
    EXPECT_EQ(result.inputNames, std::vector<std::string>{"CODE"});
}

TEST_F(PluginShape, NoCurrentRepositoryFailsBothStepsWith1306) {
    const QxbString expected = qxb_get_message("", 0, "Reference Data Plugin", 1306, "");
    for (const char* step : {"RDM_DOMAIN_LIST", "RDM_ITEM_LIST"}) {
        const EngineStepResult result = run(step, "", {});
        EXPECT_EQ(result.answer, 2) << step;
        EXPECT_EQ(result.errors, std::vector<std::string>{expected.str()}) << step;
        EXPECT_TRUE(result.output.rows.empty());
    }
}

TEST_F(PluginShape, DiscoveryWithoutCurrentRepositoryFailsWith1363) {
    const QxbString expected = qxb_get_message("", 0, "Monitor Plugin", 1363);
    for (const char* step : {"RDM_DOMAIN_LIST", "RDM_ITEM_LIST"}) {
        EngineStepRequest request;
        request.stepName = step;
        EngineTable table;
        std::vector<std::string> errors;
        EXPECT_FALSE(plugin_->discover(request, &table, &errors));
        EXPECT_EQ(errors, std::vector<std::string>{expected.str()}) << step;
    }
}

TEST_F(PluginShape, AnUnknownRepositoryReportsTheLibrarysText) {
    TempHome home;
    const EngineStepResult result = run("RDM_DOMAIN_LIST", "nowhere", {{"INPUT_VAL", "X"}});
    EXPECT_EQ(result.answer, 2);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_NE(result.errors[0].find("nowhere"), std::string::npos) << result.errors[0];
}

}  // namespace
