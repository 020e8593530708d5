#include "rdcorestreamcursor.h"

RefDataStreamCursor::RefDataStreamCursor(StoreResultSet* first, std::vector<std::pair<int, int>> rest, Opener open,
                                         Reporter rowFailed)
    : current_(first), rest_(std::move(rest)), open_(std::move(open)), rowFailed_(std::move(rowFailed)) {
    const int count = first->getColumnCount();
    for (int column = 0; column < count; ++column) columns_.push_back(first->getColumnName(column));
}

RefDataStreamCursor::~RefDataStreamCursor() {
    if (current_ != nullptr) current_->release();
}

int RefDataStreamCursor::next() {
    while (!failed_) {
        if (current_ == nullptr) {
            if (nextPart_ == rest_.size()) return 1;
            current_ = open_(rest_[nextPart_++]);
            if (current_ == nullptr) break;
        }
        const int answer = current_->next();
        if (answer == 1) return 0;
        if (answer != 0) {
            rowFailed_();
            break;
        }
        current_->release();
        current_ = nullptr;
    }
    // A failure ends the rows for good: a later call must not pass for the end.
    failed_ = true;
    return 2;
}

int RefDataStreamCursor::getColumnCount() { return static_cast<int>(columns_.size()); }

QxbString RefDataStreamCursor::getColumnName(int column) {
    return column >= 0 && column < getColumnCount() ? columns_[static_cast<std::size_t>(column)] : QxbString();
}

QxbString RefDataStreamCursor::getString(int column) {
    return current_ != nullptr ? current_->getString(column) : QxbString();
}

int RefDataStreamCursor::getInt(int column) { return current_ != nullptr ? current_->getInt(column) : -1; }

double RefDataStreamCursor::getDouble(int column) { return current_ != nullptr ? current_->getDouble(column) : -1.0; }

bool RefDataStreamCursor::isNull(int column) { return current_ != nullptr ? current_->isNull(column) : true; }

QxbDatavar RefDataStreamCursor::getValue(int column) {
    return current_ != nullptr ? current_->getValue(column) : QxbDatavar();
}

void RefDataStreamCursor::release() { delete this; }

bool RefDataStreamCursor::isReady() { return !failed_; }
