// A cursor over the item rows of several domain versions, read from the
// store one result set after another as the caller advances: no row is held
// beyond the current one. The reads go to the current result set, as the
// store-backed cursor's do.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "rdcorecursorimpl.h"

class RefDataStreamCursor : public RefDataCursorImpl {
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
    // The first part's columns, also once its result set is gone.
    int getColumnCount() override;
    QxbString getColumnName(int column) override;
    bool isReady() override;

private:
    ~RefDataStreamCursor() override = default;

    std::vector<std::pair<int, int>> rest_;
    std::size_t nextPart_ = 0;
    Opener open_;
    Reporter rowFailed_;
    std::vector<QxbString> columns_;
    bool failed_ = false;
};
