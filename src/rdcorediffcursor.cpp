// The merge behind RefDataViewerEx::getVersionDiff.
#include "rdcorediffcursor.h"

namespace {

const char* const kColumns[] = {"KEY", "CHANGE", "FIELD", "OLD", "NEW"};
constexpr int kColumnCount = 5;

QxbString number(int value) {
    QxbString text;
    text.assign(value);
    return text;
}

}  // namespace

VersionDiffCursor::VersionDiffCursor(StoreResultSet* from, StoreResultSet* to) {
    from_.rows = from;
    to_.rows = to;
}

VersionDiffCursor::~VersionDiffCursor() {
    if (from_.rows != nullptr) from_.rows->release();
    if (to_.rows != nullptr) to_.rows->release();
}

bool VersionDiffCursor::Side::fill() {
    held = false;
    if (failed || rows == nullptr) return false;
    auto advance = [this] {
        const int answer = rows->next();
        if (answer != 0 && answer != 1) failed = true;  // never taken as the end
        atRow = answer == 1;
        return atRow;
    };
    if (!started) {
        started = true;
        if (!advance()) return false;
    }
    if (!atRow) return false;
    item = Item();
    item.key = rows->getString(0).str();
    item.label = rows->getString(1);
    item.parent = rows->getString(2);
    item.position = rows->getInt(3);
    // The item's rows follow each other (the listing is in key order); a
    // version that holds a key twice gives its first entry's fields.
    do {
        if (!rows->isNull(4) && !rows->isNull(6)) {
            const std::pair<std::string, std::string> name(rows->getString(4).str(), rows->getString(5).str());
            item.texts.emplace(name, rows->getString(6));
        }
    } while (advance() && rows->getString(0).str() == item.key);
    held = !failed;
    return held;
}

void VersionDiffCursor::emit(const std::string& key, const char* change, const char* field, const QxbString& oldValue,
                             const QxbString& newValue) {
    Row row;
    row.cells[0] = QxbString(key);
    row.cells[1] = change;
    row.cells[2] = QxbString(field, false);
    row.cells[3] = oldValue;
    row.cells[4] = newValue;
    pending_.push_back(std::move(row));
}

void VersionDiffCursor::compare(const Item& from, const Item& to) {
    const QxbString none;
    std::deque<Row> changes;
    auto field = [&](const char* name, const QxbString& oldValue, const QxbString& newValue) {
        if (oldValue.isNull() == newValue.isNull() && oldValue == newValue) return;
        emit(from.key, "changed", name, oldValue, newValue);
    };
    field("label", from.label, to.label);
    field("parent", from.parent, to.parent);
    if (from.position != to.position) emit(from.key, "changed", "position", number(from.position), number(to.position));
    auto a = from.texts.begin();
    auto b = to.texts.begin();
    while (a != from.texts.end() || b != to.texts.end()) {
        const bool takeA = b == to.texts.end() || (a != from.texts.end() && a->first <= b->first);
        const bool takeB = a == from.texts.end() || (b != to.texts.end() && b->first <= a->first);
        const auto& name = takeA ? a->first : b->first;
        const std::string label = name.first + "@" + name.second;
        field(label.c_str(), takeA ? a->second : none, takeB ? b->second : none);
        if (takeA) ++a;
        if (takeB) ++b;
    }
}

int VersionDiffCursor::next() {
    onRow_ = false;
    if (failed_) return 2;
    while (pending_.empty()) {
        if (!from_.held) from_.fill();
        if (!to_.held) to_.fill();
        if (from_.failed || to_.failed) {
            failed_ = true;
            return 2;
        }
        if (!from_.held && !to_.held) return 1;
        const QxbString none;
        if (from_.held && (!to_.held || from_.item.key < to_.item.key)) {
            emit(from_.item.key, "removed", "", none, none);
            from_.held = false;
        } else if (!from_.held || to_.item.key < from_.item.key) {
            emit(to_.item.key, "added", "", none, none);
            to_.held = false;
        } else {
            compare(from_.item, to_.item);
            from_.held = false;
            to_.held = false;
        }
    }
    current_ = std::move(pending_.front());
    pending_.pop_front();
    onRow_ = true;
    return 0;
}

int VersionDiffCursor::getColumnCount() {
    return kColumnCount;
}

QxbString VersionDiffCursor::getColumnName(int column) {
    return column >= 0 && column < kColumnCount ? QxbString(kColumns[column]) : QxbString();
}

QxbString VersionDiffCursor::getString(int column) {
    return onRow_ && column >= 0 && column < kColumnCount ? current_.cells[column] : QxbString();
}

int VersionDiffCursor::getInt(int column) {
    return getString(column).asInt();
}

double VersionDiffCursor::getDouble(int column) {
    return static_cast<double>(getInt(column));
}

bool VersionDiffCursor::isNull(int column) {
    return getString(column).isNull();
}

QxbDatavar VersionDiffCursor::getValue(int column) {
    QxbDatavar value;
    value.assign(getString(column));
    return value;
}

void VersionDiffCursor::release() {
    delete this;
}

bool VersionDiffCursor::isReady() {
    return !failed_;
}
