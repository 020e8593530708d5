// rdm edit and the attribute commands through the rdm binary, against a
// real repository in a temporary home folder: each edit action lands in a
// new version and leaves the one before it alone; a dry run, a wrong edit
// file and an edit the library refuses write nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "qxbcpp.h"
#include "rdm_runner.h"
#include "repadm.h"
#include "temp_home.h"

namespace {

const char* const kBase = "key,label,parent,note\nA,Alpha,,a1\nB,Beta,A,b1\nC,Gamma,,\n";

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

class EditCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rdm("repo create demo").status, 0);
        home.writeFile("base.csv", kBase);
    }
    CommandResult rdm(const std::string& arguments) { return runRdm(home.path(), arguments); }
    // A domain holding the base file as its version 1.
    void importBase(const std::string& domain) {
        const CommandResult imported = rdm("import demo " + domain + " '" + home.file("base.csv") + "' --quiet");
        ASSERT_EQ(imported.status, 0) << imported.output;
    }

    TempHome home;
};

TEST_F(EditCommand, EachActionLandsInTheNewVersionOnly) {
    struct Case {
        const char* name;
        std::string edits;  // the edit file
        const char* exported;  // the new version, as rdm export prints it (lines in any order)
        const char* file = "edits.csv";
    };
    const std::string header = "action,key,label,parent,attribute,language,value\n";
    for (const Case& c : {
             Case{"add", header + "add,D,Delta,A,,,\nadd,E,Epsilon,,,,\n",
                  "key,label,parent,note\nA,Alpha,,a1\nB,Beta,A,b1\nC,Gamma,,\nD,Delta,A,\nE,Epsilon,,\n"},
             Case{"remove takes the subtree", header + "remove,A,,,,,\n", "key,label,parent\nC,Gamma,\n"},
             Case{"relabel", header + "relabel,C,\"Gamma, new\",,,,\n",
                  "key,label,parent,note\nA,Alpha,,a1\nB,Beta,A,b1\nC,\"Gamma, new\",,\n"},
             Case{"move", header + "move,B,,,,,\nmove,A,,C,,,\n",
                  "key,label,parent,note\nA,Alpha,C,a1\nB,Beta,,b1\nC,Gamma,,\n"},
             Case{"set", header + "set,C,,,note,en,c1\nset,C,,,note,de,c-de\nset,A,,,note,en,a2\n",
                  "key,label,parent,note,note@de\nA,Alpha,,a2,\nB,Beta,A,b1,\nC,Gamma,,c1,c-de\n"},
             Case{"clear", header + "clear,A,,,note,en,\n", "key,label,parent,note\nA,Alpha,,\nB,Beta,A,b1\nC,Gamma,,\n"},
             Case{"attributes", header + "add-attribute,,,,size,,\nset,B,,,size,en,XL\nremove-attribute,,,,note,,\n",
                  "key,label,parent,size\nA,Alpha,,\nB,Beta,A,XL\nC,Gamma,,\n"},
             Case{"json", R"([{"action":"add","key":"D","label":"Delta","parent":null},)"
                          R"({"action":"set","key":"D","attribute":"note","language":"en","value":"d1"}])",
                  "key,label,parent,note\nA,Alpha,,a1\nB,Beta,A,b1\nC,Gamma,,\nD,Delta,,d1\n", "edits.json"},
         }) {
        SCOPED_TRACE(c.name);
        const std::string domain = std::string("'") + c.name + "'";
        importBase(domain);
        home.writeFile(c.file, c.edits);
        const CommandResult edited = rdm("edit demo " + domain + " --file '" + home.file(c.file) + "'");
        ASSERT_EQ(edited.status, 0) << edited.output;
        EXPECT_EQ(edited.output.rfind("Committed version 2 of domain '" + std::string(c.name) + "' (", 0), 0u)
            << edited.output;
        EXPECT_EQ(sortedLines(rdm("export demo " + domain + " --version 2").output), sortedLines(c.exported));
        EXPECT_EQ(sortedLines(rdm("export demo " + domain + " --version 1").output), sortedLines(kBase));
    }
}

TEST_F(EditCommand, OneOffEditsAndANewDomain) {
    importBase("Codes");
    const CommandResult edited =
        rdm("edit demo Codes --edit 'relabel,A,Alpha 2' --edit remove,C --version-label 'second' --format csv");
    ASSERT_EQ(edited.status, 0) << edited.output;
    EXPECT_EQ(sortedLines(rdm("export demo Codes").output),
              sortedLines("key,label,parent,note\nA,Alpha 2,,a1\nB,Beta,A,b1\n"));
    EXPECT_NE(rdm("versions demo Codes --format csv").output.find("second"), std::string::npos);

    ASSERT_EQ(rdm("edit demo Fresh --new --edit add,X,Ex --edit add-attribute,,,,colour --edit set,X,,,colour,en,red")
                  .status,
              0);
    EXPECT_EQ(rdm("export demo Fresh").output, "key,label,parent,colour\nX,Ex,,red\n");
}

TEST_F(EditCommand, ADryRunABadFileOrARefusedEditWritesNothing) {
    importBase("Codes");
    home.writeFile("bad.csv",
                   "action,key,label,parent,attribute,language,value\n"
                   "add,D,Delta,,,,\n"
                   "rename,A,x,,,,\n"
                   "set,A,,,note,,v\n"
                   "remove,A,oops,,,,\n");
    home.writeFile("column.csv", "action,key,lable\nadd,D,Delta\n");
    const auto before = tableCounts();
    ASSERT_FALSE(before.empty());
    struct Case {
        std::string arguments;
        int status;
        std::vector<std::string> said;  // texts the output must hold
    };
    for (const Case& c : {
             Case{"edit demo Codes --dry-run --format csv --edit add,N,New --edit remove,A", 0,
                  {"TABLE_CODE,OBJECT_ID,DESCRIPTION\n"}},
             Case{"edit demo Codes --file '" + home.file("bad.csv") + "'",
                  1,
                  {"bad.csv:3: unknown action 'rename'", "bad.csv:4: 'set' needs: language",
                   "bad.csv:5: 'remove' does not use: label"}},
             Case{"edit demo Codes --file '" + home.file("column.csv") + "'", 1, {"column.csv:1: unknown column 'lable'"}},
             Case{"edit demo Codes --edit add,N,New --edit relabel,Nope,x --edit move,A,,B", 1,
                  {"--edit:2: ", "--edit:3: "}},
             Case{"edit demo Codes --new --edit add,N,New", 1, {"a domain named 'Codes' exists already"}},
             Case{"edit demo Codes --edit add,N,New --account 999", 1, {"no account has the id 999"}},
             Case{"edit demo Nowhere --edit add,N,New", 1, {"Nowhere"}},
         }) {
        SCOPED_TRACE(c.arguments);
        const CommandResult result = rdm(c.arguments);
        EXPECT_EQ(result.status, c.status) << result.output;
        for (const std::string& text : c.said) EXPECT_NE(result.output.find(text), std::string::npos) << result.output;
        EXPECT_EQ(tableCounts(), before);
    }
    EXPECT_EQ(rdm("has-item demo Codes N").status, 1);
}

TEST_F(EditCommand, AttributesAreCreatedListedAndRemovedByName) {
    importBase("Codes");
    ASSERT_EQ(rdm("attribute add demo colour --label Colour").status, 0);
    EXPECT_NE(rdm("attributes demo --format csv").output.find(",colour,Colour,"), std::string::npos);
    EXPECT_EQ(rdm("attributes demo Codes --format csv").output.find("colour"), std::string::npos)
        << "the domain does not use it";
    EXPECT_NE(rdm("attributes demo Codes --format csv").output.find(",note,"), std::string::npos);
    ASSERT_EQ(rdm("attribute remove demo colour").status, 0);
    EXPECT_EQ(rdm("attributes demo --format csv").output.find("colour"), std::string::npos);
    EXPECT_EQ(rdm("attribute remove demo colour").status, 1);
}

}  // namespace
