// The result-set cursor and the in-memory cache cursor of rdcore.
#include "rdcorecursorimpl.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "rdcorecommon.h"

// ---------------------------------------------------------------------------
// RefDataCursorImpl

RefDataCursorImpl::~RefDataCursorImpl() = default;

bool RefDataCursorImpl::attach(StoreResultSet* set, QxbString* errorOut) {
    if (set == nullptr) {
        if (errorOut != nullptr) {
            *errorOut = rdcore::message(__FILE__, __LINE__, rdcore::kMsgNoResultSet);
        }
        return false;
    }
    resultSet = set;
    return true;
}

int RefDataCursorImpl::next() {
    if (resultSet == nullptr) return 2;
    switch (resultSet->next()) {
        case 1:
            return 0;
        case 0:
            return 1;
        default:
            return 2;
    }
}

int RefDataCursorImpl::getColumnCount() {
    return resultSet != nullptr ? resultSet->getColumnCount() : 0;
}

QxbString RefDataCursorImpl::getColumnName(int column) {
    return resultSet != nullptr ? resultSet->getColumnName(column) : QxbString();
}

QxbString RefDataCursorImpl::getString(int column) {
    return resultSet != nullptr ? resultSet->getString(column) : QxbString();
}

int RefDataCursorImpl::getInt(int column) {
    return resultSet != nullptr ? resultSet->getInt(column) : -1;
}

double RefDataCursorImpl::getDouble(int column) {
    return resultSet != nullptr ? resultSet->getDouble(column) : -1.0;
}

bool RefDataCursorImpl::isNull(int column) {
    return resultSet != nullptr ? resultSet->isNull(column) : true;
}

QxbDatavar RefDataCursorImpl::getValue(int column) {
    return resultSet != nullptr ? resultSet->getValue(column) : QxbDatavar();
}

void RefDataCursorImpl::release() {
    rdcore::releaseField(resultSet);
    delete this;
}

bool RefDataCursorImpl::isReady() {
    return resultSet != nullptr ? resultSet->isReady() : false;
}

// ---------------------------------------------------------------------------
// RefDataCacheCursorImpl: storage

namespace {
// Every stored text has its byte count (32 bits) just before it, and a NUL
// after it; the empty text is this one.
constexpr char kEmptyCell[sizeof(std::uint32_t) + 1] = {};
const char* const kEmptyText = kEmptyCell + sizeof(std::uint32_t);

std::size_t lengthOf(const char* text) {
    std::uint32_t length;
    std::memcpy(&length, text - sizeof length, sizeof length);
    return length;
}

std::uint64_t bitsOf(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

const char* textOf(std::uint64_t payload) {
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(payload));
}

std::uint64_t payloadOf(const char* text) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(text));
}

double doubleOf(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

constexpr std::size_t kFirstSlab = 256u << 10;
constexpr std::size_t kLargestSlab = 8u << 20;
constexpr std::size_t kHugePage = 2u << 20;
}  // namespace

// Slabs double from 256 KiB to 8 MiB, so that a small cache stays small;
// from 2 MiB on a slab starts on a huge-page boundary and is offered to the
// kernel for huge pages.
void* RefDataCacheCursorImpl::Slabs::take(std::size_t size) {
    size = (size + 15) & ~static_cast<std::size_t>(15);
    if (size > left_) {
        std::size_t slab = std::min(kLargestSlab, std::max(kFirstSlab, taken_));
        if (slab < size) slab = (size + kHugePage - 1) & ~(kHugePage - 1);
        const bool huge = slab >= kHugePage;
        const std::size_t length = huge ? slab + kHugePage : slab;
        void* address = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (address == MAP_FAILED) throw std::bad_alloc();
        try {
            mappings_.push_back({address, length});
        } catch (...) {
            munmap(address, length);
            throw;
        }
        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(address);
        const std::uintptr_t mask = huge ? kHugePage - 1 : 0;
        next_ = reinterpret_cast<char*>((start + mask) & ~mask);
        left_ = slab;
        taken_ += slab;
        if (huge) madvise(next_, slab, MADV_HUGEPAGE);  // a hint: without it the pages are small
    }
    void* taken = next_;
    next_ += size;
    left_ -= size;
    return taken;
}

void RefDataCacheCursorImpl::Slabs::clear() {
    for (const Mapping& mapping : mappings_) munmap(mapping.address, mapping.length);
    mappings_.clear();
    next_ = nullptr;
    left_ = 0;
    taken_ = 0;
}

const char* RefDataCacheCursorImpl::TextArena::store(const char* text, std::size_t length) {
    const auto counted = static_cast<std::uint32_t>(length);
    const std::size_t size = sizeof counted + length + 1;
    char* target;
    if (size > kBlockSize / 4) {
        // A long text gets a block of its own; the shared block stays current.
        target = static_cast<char*>(slabs_.take(size));
    } else {
        if (current_ == nullptr || used_ + size > kBlockSize) {
            current_ = static_cast<char*>(slabs_.take(kBlockSize));
            used_ = 0;
        }
        target = current_ + used_;
        used_ += size;
    }
    std::memcpy(target, &counted, sizeof counted);
    target += sizeof counted;
    std::memcpy(target, text, length);
    target[length] = '\0';
    return target;
}

void RefDataCacheCursorImpl::TextArena::clear() {
    slabs_.clear();
    current_ = nullptr;
    used_ = 0;
}

RefDataCacheCursorImpl::RefDataCacheCursorImpl() = default;

RefDataCacheCursorImpl::~RefDataCacheCursorImpl() = default;

std::size_t RefDataCacheCursorImpl::cellIndex(std::size_t row, int column) const {
    if (row == kNoRow || row >= rowCount || column < 0 || column >= columnCount) return kNoRow;
    return row * static_cast<std::size_t>(columnCount) + static_cast<std::size_t>(column);
}

std::uint8_t RefDataCacheCursorImpl::tagAt(std::size_t cell) const {
    return chunks_[cell / kCellsPerChunk]->tags[cell % kCellsPerChunk];
}

std::uint64_t RefDataCacheCursorImpl::payloadAt(std::size_t cell) const {
    return chunks_[cell / kCellsPerChunk]->payloads[cell % kCellsPerChunk];
}

void RefDataCacheCursorImpl::storeCell(std::size_t cell, std::uint8_t tag, std::uint64_t payload) {
    CellChunk& chunk = *chunks_[cell / kCellsPerChunk];
    chunk.tags[cell % kCellsPerChunk] = tag;
    chunk.payloads[cell % kCellsPerChunk] = payload;
}

const char* RefDataCacheCursorImpl::storeText(int column, const QxbString& text) {
    const std::size_t length = text.length();
    if (length == 0) return kEmptyText;
    const char*& last = lastTexts_[static_cast<std::size_t>(column)];
    if (last != nullptr && lengthOf(last) == length && std::memcmp(last, text.asCstr(), length) == 0) return last;
    last = texts_.store(text.asCstr(), length);
    return last;
}

QxbDatavar RefDataCacheCursorImpl::valueAt(std::size_t cell) const {
    QxbDatavar value;
    const std::uint64_t payload = payloadAt(cell);
    switch (tagAt(cell)) {
        case QXB_TYPE_BOOL:
            value.assign(payload != 0);
            break;
        case QXB_TYPE_INT:
            value.assign(static_cast<int>(static_cast<std::int64_t>(payload)));
            break;
        case QXB_TYPE_INT64:
            value.assign(static_cast<std::int64_t>(payload));
            break;
        case QXB_TYPE_DOUBLE:
            value.assign(doubleOf(payload));
            break;
        case QXB_TYPE_STRING: {
            const char* text = textOf(payload);
            value.assign(text, lengthOf(text));
            break;
        }
        case QXB_TYPE_DATE:
            value.assign(QxbDate(doubleOf(payload)));
            break;
        default:
            break;
    }
    return value;
}

// ---------------------------------------------------------------------------
// RefDataCacheCursorImpl: filling

bool RefDataCacheCursorImpl::setColumns(int count) {
    clear();
    columnCount = count;
    if (count < 1) return false;
    try {
        lastTexts_.assign(static_cast<std::size_t>(count), nullptr);
        columnNames.reset(new QxbString[static_cast<std::size_t>(count)]);
    } catch (const std::bad_alloc&) {
        clear();
        return false;
    }
    return true;
}

void RefDataCacheCursorImpl::setColumnName(int column, const QxbString& name) {
    if (columnNames == nullptr || column < 0 || column >= columnCount) return;
    try {
        columnNames[column] = name;
    } catch (const std::bad_alloc&) {
        columnNames[column].setNull();
    }
}

int RefDataCacheCursorImpl::addRow() {
    const std::size_t width = columnCount > 0 ? static_cast<std::size_t>(columnCount) : 0;
    const std::size_t cellsNeeded = (static_cast<std::size_t>(rowCount) + 1) * width;
    try {
        // A new chunk comes zeroed from its slab: every cell of a new row
        // is a null value.
        while (chunks_.size() * kCellsPerChunk < cellsNeeded)
            chunks_.push_back(new (cellSlabs_.take(sizeof(CellChunk))) CellChunk);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    currentRow = rowCount;
    ++rowCount;
    return static_cast<int>(rowCount);
}

bool RefDataCacheCursorImpl::setValue(int column, const QxbDatavar& value) {
    const std::size_t cell = currentCell(column);
    if (cell == kNoRow) return false;
    try {
        switch (value.type()) {
            case QXB_TYPE_BOOL:
                storeCell(cell, QXB_TYPE_BOOL, value.asBool() ? 1 : 0);
                break;
            case QXB_TYPE_INT:
                storeCell(cell, QXB_TYPE_INT, static_cast<std::uint64_t>(value.asInt64()));
                break;
            case QXB_TYPE_INT64:
                storeCell(cell, QXB_TYPE_INT64, static_cast<std::uint64_t>(value.asInt64()));
                break;
            case QXB_TYPE_DOUBLE:
                storeCell(cell, QXB_TYPE_DOUBLE, bitsOf(value.asDouble()));
                break;
            case QXB_TYPE_STRING: {
                storeCell(cell, QXB_TYPE_STRING, payloadOf(storeText(column, *value.text())));
                break;
            }
            case QXB_TYPE_DATE:
                storeCell(cell, QXB_TYPE_DATE, bitsOf(value.asDate().value()));
                break;
            default:
                storeCell(cell, QXB_TYPE_NULL, 0);
                break;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void RefDataCacheCursorImpl::rewind() {
    currentRow = kNoRow;
}

void RefDataCacheCursorImpl::clear() {
    chunks_.clear();
    cellSlabs_.clear();
    texts_.clear();
    lastTexts_.clear();
    columnNames.reset();
    currentRow = kNoRow;
    rowCount = 0;
}

// ---------------------------------------------------------------------------
// RefDataCacheCursorImpl: reading

int RefDataCacheCursorImpl::next() {
    if (columnCount == 0) return 2;
    if (currentRow == kNoRow) {
        currentRow = rowCount > 0 ? 0 : kNoRow;
    } else {
        currentRow = currentRow + 1 < rowCount ? currentRow + 1 : kNoRow;
    }
    return currentRow == kNoRow ? 1 : 0;
}

int RefDataCacheCursorImpl::getColumnCount() {
    return columnCount;
}

QxbString RefDataCacheCursorImpl::getColumnName(int column) {
    if (columnNames == nullptr || column < 0 || column >= columnCount) return QxbString();
    return columnNames[column];
}

QxbString RefDataCacheCursorImpl::getString(int column) {
    const std::size_t cell = currentCell(column);
    if (cell == kNoRow) return QxbString();
    if (tagAt(cell) == QXB_TYPE_STRING) {
        const char* text = textOf(payloadAt(cell));
        return QxbString(text, lengthOf(text));
    }
    return valueAt(cell).asString();
}

int RefDataCacheCursorImpl::getInt(int column) {
    const std::size_t cell = currentCell(column);
    return cell == kNoRow ? 0 : valueAt(cell).asInt();
}

double RefDataCacheCursorImpl::getDouble(int column) {
    const std::size_t cell = currentCell(column);
    return cell == kNoRow ? 0.0 : valueAt(cell).asDouble();
}

bool RefDataCacheCursorImpl::isNull(int column) {
    const std::size_t cell = currentCell(column);
    return cell == kNoRow || tagAt(cell) == QXB_TYPE_NULL;
}

QxbDatavar RefDataCacheCursorImpl::getValue(int column) {
    const std::size_t cell = currentCell(column);
    return cell == kNoRow ? QxbDatavar() : valueAt(cell);
}

void RefDataCacheCursorImpl::release() {
    clear();
    delete this;
}

bool RefDataCacheCursorImpl::isReady() {
    return true;
}
