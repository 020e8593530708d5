#include "rdcorestreamcursor.h"

#include "rdcorecommon.h"

RefDataStreamCursor::RefDataStreamCursor(StoreResultSet* first, std::vector<std::pair<int, int>> rest, Opener open,
                                         Reporter rowFailed)
    : rest_(std::move(rest)), open_(std::move(open)), rowFailed_(std::move(rowFailed)) {
    const int count = first->getColumnCount();
    for (int column = 0; column < count; ++column) columns_.push_back(first->getColumnName(column));
    resultSet = first;
}

int RefDataStreamCursor::next() {
    while (!failed_) {
        if (resultSet == nullptr) {
            if (nextPart_ == rest_.size()) return 1;
            resultSet = open_(rest_[nextPart_++]);
            if (resultSet == nullptr) break;
        }
        const int answer = resultSet->next();
        if (answer == 1) return 0;
        if (answer != 0) {
            rowFailed_();
            break;
        }
        rdcore::releaseField(resultSet);
    }
    // A failure ends the rows for good: a later call must not pass for the end.
    failed_ = true;
    return 2;
}

int RefDataStreamCursor::getColumnCount() { return static_cast<int>(columns_.size()); }

QxbString RefDataStreamCursor::getColumnName(int column) {
    return column >= 0 && column < getColumnCount() ? columns_[static_cast<std::size_t>(column)] : QxbString();
}

bool RefDataStreamCursor::isReady() { return !failed_; }
