// A cursor over the item rows of several domain versions, read from the
// store one result set after another as the caller advances: no row is held
// beyond the current one.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "RefDataCursor.h"
#include "repadm.h"

class RefDataStreamCursor : public RefDataCursor {
public:
    // open answers the result set of one part, or null after reporting why;
    // rowFailed reports a row the store could not read.
    using Opener = std::function<StoreResultSet*(const std::pair<int, int>& part)>;
    using Reporter = std::function<void()>;

    // Takes ownership of first (the first part's result set, already open:
    // it gives the columns) and opens the other parts in turn.
    RefDataStreamCursor(StoreResultSet* first, std::vector<std::pair<int, int>> rest, Opener open,
                        Reporter rowFailed);
    RefDataStreamCursor(const RefDataStreamCursor&) = delete;
    RefDataStreamCursor& operator=(const RefDataStreamCursor&) = delete;

    // 0 a row, 1 the end, 2 an error (the opener's, or a row the store
    // could not read).
    int next() override;
    int getColumnCount() override;
    QxbString getColumnName(int column) override;
    QxbString getString(int column) override;
    int getInt(int column) override;
    double getDouble(int column) override;
    bool isNull(int column) override;
    QxbDatavar getValue(int column) override;
    void release() override;
    bool isReady() override;

private:
    ~RefDataStreamCursor() override;

    StoreResultSet* current_;
    std::vector<std::pair<int, int>> rest_;
    std::size_t nextPart_ = 0;
    Opener open_;
    Reporter rowFailed_;
    std::vector<QxbString> columns_;
    bool failed_ = false;
};
