// rdm export and import in JSON Lines, FHIR CodeSystem and SKOS Turtle:
// round trips of hostile texts in three languages with a hierarchy, the
// FHIR resource's own rules, the Turtle read by an independent parser
// (rapper), files written elsewhere, and what each reader refuses.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "rdm_runner.h"
#include "temp_home.h"

namespace {

struct Item {
    std::string key, label, parent;
    std::vector<std::string> values;  // by kAttributeColumns; "" none
};

const std::vector<std::string> kAttributeColumns = {"name", "name@de", "name@fr", "note"};
// Keys with a blank, a "/" and a non-ASCII letter (URLs encode them); texts
// with quotes, backslashes, line ends, <, & and non-ASCII letters; an empty
// label and empty values, which no format writes.
const std::vector<Item> kItems = {
    {"A", "Quote \" back\\slash", "", {"line 1\nline 2 <tag> & more", "Grüße \"Zitat\"", "œuvre <&> \\", ""}},
    {"B b", "Beta", "A", {"b-en", "b-de", "b-fr", "a note\r\nwith CRLF"}},
    {"Ü/1", "", "B b", {"c", "", "", ""}},
};

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    return "\"" + std::regex_replace(text, std::regex("\""), "\"\"") + "\"";
}

std::string itemsCsv() {
    std::string csv = "key,label,parent";
    for (const std::string& column : kAttributeColumns) csv += "," + column;
    csv += "\n";
    for (const Item& item : kItems) {
        csv += csvField(item.key) + "," + csvField(item.label) + "," + csvField(item.parent);
        for (const std::string& value : item.values) csv += "," + csvField(value);
        csv += "\n";
    }
    return csv;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// Every string of a JSON document, wherever it stands.
void collectStrings(const nlohmann::json& json, std::vector<std::string>* strings) {
    if (json.is_string()) strings->push_back(json.get<std::string>());
    if (json.is_structured())
        for (const auto& element : json) collectStrings(element, strings);
}

class Formats : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runRdm(home.path(), "repo create demo").status, 0);
        home.writeFile("items.csv", itemsCsv());
        const CommandResult imported = rdm("import demo Src '" + home.file("items.csv") + "'");
        ASSERT_EQ(imported.status, 0) << imported.output;
    }
    CommandResult rdm(const std::string& arguments) { return runRdm(home.path(), arguments); }
    // Exports Src in FORMAT to a file of the home folder; its content.
    std::string exportTo(const std::string& format, const std::string& file,
                         const std::string& options = "") {
        const CommandResult exported = rdm("export demo Src --format " + format + " " + options);
        EXPECT_EQ(exported.status, 0) << exported.output;
        home.writeFile(file, exported.output);
        return exported.output;
    }

    TempHome home;
};

TEST_F(Formats, EveryFormatRoundTripsToTheSameOutputAndItems) {
    const std::string sourceCsv = rdm("export demo Src").output;
    for (const std::string format : {"csv", "json", "jsonl", "fhir", "skos"}) {
        SCOPED_TRACE(format);
        const std::string first = exportTo(format, "out." + format);
        const std::string copy = "Copy_" + format;
        const CommandResult imported =
            rdm("import demo " + copy + " '" + home.file("out." + format) + "' --format " + format);
        ASSERT_EQ(imported.status, 0) << imported.output;
        // The copy's URL names its own domain; nothing else may differ.
        EXPECT_EQ(rdm("export demo " + copy + " --format " + format).output, replaced(first, "Src", copy));
        EXPECT_EQ(rdm("export demo " + copy).output, sourceCsv);
    }
}

TEST_F(Formats, TheFhirResourceKeepsCodeSystemRules) {
    home.writeConfig("[EXPORT]\nBASE_URL = \"https://terms.example/cs\"\n");
    const nlohmann::json resource = nlohmann::json::parse(exportTo("fhir", "out.json"));
    EXPECT_EQ(resource["resourceType"], "CodeSystem");
    EXPECT_EQ(resource["url"], "https://terms.example/cs/Src");
    EXPECT_EQ(resource["version"], "1");
    EXPECT_EQ(resource["status"], "active");
    EXPECT_EQ(resource["content"], "complete");
    EXPECT_EQ(resource["hierarchyMeaning"], "is-a");
    EXPECT_EQ(resource["property"][0]["code"], "parent");
    const nlohmann::json& concepts = resource["concept"];
    ASSERT_EQ(concepts.size(), kItems.size());
    EXPECT_EQ(resource["count"], kItems.size());

    std::set<std::string> codes;
    for (const auto& concept : concepts) EXPECT_TRUE(codes.insert(concept["code"].get<std::string>()).second);
    std::size_t designations = 0, values = 0;
    for (std::size_t i = 0; i < kItems.size(); ++i) {
        const nlohmann::json& concept = concepts[i];
        EXPECT_EQ(concept["code"], kItems[i].key);
        EXPECT_EQ(concept.value("display", std::string()), kItems[i].label);
        EXPECT_FALSE(concept.contains("concept")) << "flat, not nested";
        for (const auto& property : concept.value("property", nlohmann::json::array())) {
            EXPECT_EQ(property["code"], "parent");
            EXPECT_EQ(codes.count(property["valueCode"].get<std::string>()), 1u) << property;
            EXPECT_EQ(property["valueCode"], kItems[i].parent);
        }
        designations += concept.value("designation", nlohmann::json::array()).size();
        for (const std::string& value : kItems[i].values) values += value.empty() ? 0 : 1;
    }
    EXPECT_EQ(designations, values);
    // FHIR has no empty strings: empty labels and values are left out.
    std::vector<std::string> strings;
    collectStrings(resource, &strings);
    for (const std::string& text : strings) EXPECT_FALSE(text.empty());

    const CommandResult overridden = rdm("export demo Src --format fhir --base-url http://other.example/");
    EXPECT_EQ(nlohmann::json::parse(overridden.output)["url"], "http://other.example/Src");
    // A name FHIR can use as an identifier; the URL encodes the domain's name.
    ASSERT_EQ(rdm("import demo '2 big-list' '" + home.file("items.csv") + "'").status, 0);
    const nlohmann::json renamed =
        nlohmann::json::parse(rdm("export demo '2 big-list' --format fhir").output);
    EXPECT_EQ(renamed["name"], "CodeSystem_2_big_list");
    EXPECT_EQ(renamed["title"], "2 big-list");
    EXPECT_EQ(renamed["url"], "https://terms.example/cs/2%20big-list");
}

TEST_F(Formats, RapperReadsTheTurtleWithOneTripleForEachFact) {
    if (runCommand("command -v rapper >/dev/null").status != 0)
        GTEST_SKIP() << "rapper is not installed (apt-get install raptor2-utils): the Turtle is not checked";
    exportTo("skos", "out.ttl");
    // The scheme: its type, label and version; each concept: its type, scheme
    // and notation, its label and parent when it has them, and its values.
    std::size_t expected = 3;
    for (const Item& item : kItems) {
        expected += 3 + (item.label.empty() ? 0 : 1) + (item.parent.empty() ? 0 : 1);
        for (const std::string& value : item.values) expected += value.empty() ? 0 : 1;
    }
    const CommandResult counted = runCommand("rapper -i turtle -c '" + home.file("out.ttl") + "' 2>&1");
    EXPECT_EQ(counted.status, 0) << counted.output;
    EXPECT_NE(counted.output.find("returned " + std::to_string(expected) + " triples"), std::string::npos)
        << counted.output;
    const CommandResult triples =
        runCommand("rapper -q -i turtle -o ntriples '" + home.file("out.ttl") + "'");
    EXPECT_NE(triples.output.find(
                  "<http://example.org/rdm/Src/%C3%9C%2F1> "
                  "<http://www.w3.org/2004/02/skos/core#broader> <http://example.org/rdm/Src/B%20b>"),
              std::string::npos)
        << triples.output;
    EXPECT_NE(triples.output.find("<urn:x-rdm:attribute:name> \"Gr\\u00FC\\u00DFe \\\"Zitat\\\"\"@de"),
              std::string::npos)
        << triples.output;
}

TEST_F(Formats, FilesWrittenElsewhereImport) {
    struct Foreign {
        const char* format;
        std::string content;
        std::string csv;  // rdm export of the imported version
    };
    for (const Foreign& file : std::vector<Foreign>{
             // Nested concepts; a designation without use or language.
             {"fhir",
              R"({"resourceType":"CodeSystem","concept":[{"code":"P","display":"Parent","concept":[
                  {"code":"K","designation":[{"value":"kid"},{"language":"de","use":{"system":"x","code":"n"},"value":"Kind"}],
                   "property":[{"code":"parent","valueCode":"P"},{"code":"other","valueString":"x"}]}]}]})",
              "key,label,parent,designation,n@de\nP,Parent,,,\nK,,P,kid,Kind\n"},
             // Prefixes of its own, a base, a label in the import's language.
             {"skos",
              "@base <http://t.example/> .\n@prefix s: <http://www.w3.org/2004/02/skos/core#> .\n"
              "@prefix a: <urn:x-rdm:attribute:> .\n"
              "<p> a s:Concept ; s:notation \"P\" ; s:prefLabel \"Eltern\"@de , \"Parent\"@en .\n"
              "<k> a s:Concept ; s:notation \"K\"^^<http://t.example/dt> ; s:broader <p> ; a:n%20x \"v\" .\n"
              "<scheme> a s:ConceptScheme .\n",
              "key,label,parent,n x\nP,Parent,,\nK,,P,v\n"},
             // Blank lines, CRLF, fields missing or null.
             {"jsonl",
              "{\"key\":\"P\",\"label\":\"Parent\"}\r\n\n{\"key\":\"K\",\"parent\":\"P\",\"v@de\":1.10,"
              "\"label\":null}\n",
              "key,label,parent,v@de\nP,Parent,,\nK,,P,1.10\n"},
         }) {
        SCOPED_TRACE(file.format);
        home.writeFile("foreign", file.content);
        const std::string domain = std::string("F_") + file.format;
        const CommandResult imported =
            rdm("import demo " + domain + " '" + home.file("foreign") + "' --format " + file.format);
        ASSERT_EQ(imported.status, 0) << imported.output;
        EXPECT_EQ(rdm("export demo " + domain).output, file.csv);
    }
}

TEST_F(Formats, BadFilesAndKeysAreRefusedByName) {
    struct Bad {
        const char* format;
        std::string content;
        const char* reason;
    };
    for (
        const Bad& bad : std::vector<Bad>{
            {"fhir", R"({"resourceType":"ValueSet"})", "the resource is a ValueSet, not a CodeSystem"},
            {"fhir", R"([])", "expected a FHIR resource"},
            {"fhir", R"({"concept":[]})", "not a FHIR CodeSystem"},
            {"fhir", R"({"resourceType":"CodeSystem","concept":[{"code":"A"},{"display":"no code"}]})",
             "bad:2: the key is empty"},
            {"fhir", R"({"resourceType":"CodeSystem","concept":[{"code":"A","concept":[{"code":"B",
                  "property":[{"code":"parent","valueCode":"C"}]}]},{"code":"C"}]})",
             "bad:2: concept 'B' is nested in concept 'A' but its parent property names 'C'"},
            {"fhir", R"({"resourceType":"CodeSystem","concept":[{"code":"A","designation":[
                  {"language":"de","use":{"code":"n"},"value":"1"},{"language":"de","use":{"code":"n"},"value":"2"}]}]})",
             "bad:1: concept 'A' has two designations of attribute 'n' in language 'de'"},
            {"fhir",
             R"({"resourceType":"CodeSystem","concept":[{"code":"A","property":[{"code":"parent","valueCode":"X"}]}]})",
             "bad:1: parent 'X' is not a key of this file"},
            {"skos", "<a> <b> .\n", "bad:1: not valid Turtle"},
            {"skos", "@prefix s: <http://www.w3.org/2004/02/skos/core#> .\n<a> a s:Concept .\n",
             "bad:1: concept <a> has no skos:notation"},
            {"skos",
             "@prefix s: <http://www.w3.org/2004/02/skos/core#> .\n<a> a s:Concept ; s:notation \"A\" ; "
             "s:broader <x> .\n",
             "bad:1: parent '<x>' is not a key of this file"},
            {"skos", "<a> x:y \"1\" .\n", "the prefix of 'x:y' is not declared"},
            {"jsonl", "{\"key\":\"A\"}\n\n{\"key\":\"A\"}\n", "bad:3: duplicate key 'A' (first on line 1)"},
            {"jsonl", "{\"key\":\"A\"}\n{\"key\":\n", "bad:2: not valid JSON"},
            {"jsonl", "{\"key\":\"A\"}\n[1]\n", "bad:2: element is not an object"},
        }) {
        SCOPED_TRACE(bad.content);
        home.writeFile("bad", bad.content);
        const CommandResult result = rdm("import demo Bad '" + home.file("bad") + "' --format " + bad.format);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.errors.find(bad.reason), std::string::npos) << result.errors;
    }
    EXPECT_EQ(rdm("domains demo --format csv").output.find("Bad"), std::string::npos)
        << "nothing was imported";

    // A FHIR code has no blank at either end: the whole export is refused.
    home.writeFile("blank.csv", "key,label\nGood,g\n\" Bad\",b\n");
    ASSERT_EQ(rdm("import demo Blank '" + home.file("blank.csv") + "'").status, 0);
    const CommandResult refused = rdm("export demo Blank --format fhir");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.errors,
              "rdm: key ' Bad' is not a valid FHIR code (no blank at either end, no two blanks in a "
              "row, no tab or line end); nothing was exported\n");
    EXPECT_EQ(refused.output, refused.errors) << "nothing on standard output";
}

}  // namespace
