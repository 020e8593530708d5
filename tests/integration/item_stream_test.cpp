// streamDomainItems answers the rows getDomainItemsWithAttributes answers
// (same columns, rows and order, same refusals), read as the cursor advances.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RefData.h"
#include "RefDataHandle.h"
#include "RefDataViewerEx.h"
#include "rdm_runner.h"
#include "temp_home.h"

namespace {

// Column names, then every row's values as text; "failed" when the cursor
// is missing or its rows end in an error.
std::vector<std::string> rowsOf(RefDataCursor* cursor) {
    if (cursor == nullptr) return {"failed"};
    std::string names;
    for (int c = 0; c < cursor->getColumnCount(); ++c) names += cursor->getColumnName(c).str() + "|";
    std::vector<std::string> rows = {names};
    int answer = 0;
    while ((answer = cursor->next()) == 0) {
        std::string row;
        for (int c = 0; c < cursor->getColumnCount(); ++c)
            row += (cursor->isNull(c) ? std::string("<null>") : cursor->getString(c).str()) + "|";
        rows.push_back(row);
    }
    cursor->release();
    if (answer != 1) rows.push_back("failed");
    return rows;
}

TEST(ItemStreamTest, StreamedRowsAreTheCopiedRows) {
    TempHome home;
    const std::string data = std::string(RDM_SOURCE_DIR) + "/data/";
    for (const std::string& arguments : {std::string("repo create demo"), "import demo Currencies " + data + "currencies.csv",
                                        "import demo Units " + data + "units.csv",
                                        "import demo Currencies " + data + "currencies.csv --force"}) {
        const CommandResult result = runRdm(home.path(), arguments);
        ASSERT_EQ(result.status, 0) << arguments << ": " << result.output;
    }
    QxbString error;
    RefData* session = createReferenceDataSession(0, &error);
    ASSERT_NE(session, nullptr);
    RefDataHandle* handle = nullptr;
    ASSERT_TRUE(session->open(&handle, QxbString("demo"), &error)) << error.asCstr();
    RefDataViewerEx* viewer = session->getViewerEx(handle);
    struct Case {
        QxbString name;
        int version;
        bool answered;
    };
    const std::vector<Case> cases = {{QxbString(), 0, true},           {QxbString("Currencies"), 0, true},
                                     {QxbString("Currencies"), 1, true}, {QxbString("Units"), -1, true},
                                     {QxbString("Units"), 9, false},     {QxbString("Nothing"), 0, false}};
    for (const Case& c : cases) {
        const std::string what = (c.name.isNull() ? std::string("every domain") : c.name.str()) + " at " +
                                 std::to_string(c.version);
        const std::vector<std::string> copied = rowsOf(viewer->getDomainItemsWithAttributes(handle, c.name, c.version));
        const std::string copyError = handle->errorText.str();
        const std::vector<std::string> streamed = rowsOf(viewer->streamDomainItems(handle, c.name, c.version));
        EXPECT_EQ(streamed, copied) << what;
        EXPECT_EQ(copied.size() > 2, c.answered) << what;
        if (!c.answered) {
            EXPECT_EQ(handle->errorText.str(), copyError) << what;
        }
    }
    session->release(&handle);
}

}  // namespace
