// The two cursors of rdcore: RefDataCursorImpl reads a store result set,
// RefDataCacheCursorImpl holds rows the query layer assembled in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "RefDataCursor.h"
#include "repadm.h"

// Forwards every read to the store's result set, which it owns once attached.
class RefDataCursorImpl : public RefDataCursor {
public:
    RefDataCursorImpl() = default;
    RefDataCursorImpl(const RefDataCursorImpl&) = delete;
    RefDataCursorImpl& operator=(const RefDataCursorImpl&) = delete;

    // Takes ownership of resultSet. A null result set puts message 249 into
    // *errorOut (when given) and answers false; the cursor stays empty.
    bool attach(StoreResultSet* resultSet, QxbString* errorOut);

    int next() override;
    int getColumnCount() override;
    QxbString getColumnName(int column) override;
    QxbString getString(int column) override;
    int getInt(int column) override;
    double getDouble(int column) override;
    bool isNull(int column) override;
    QxbDatavar getValue(int column) override;
    // Releases the result set first, then frees the cursor.
    void release() override;
    bool isReady() override;

protected:
    ~RefDataCursorImpl() override;

    StoreResultSet* resultSet = nullptr;
};

// Rows held in memory, compactly: every cell is a one-byte type tag plus an
// eight-byte payload, kept in fixed-size chunks so that growing never moves
// or copies earlier rows; texts live in an arena the payload points into.
// Rows are addressed by index; kNoRow plays the part of "no current row".
class RefDataCacheCursorImpl : public RefDataCursor {
public:
    RefDataCacheCursorImpl();
    RefDataCacheCursorImpl(const RefDataCacheCursorImpl&) = delete;
    RefDataCacheCursorImpl& operator=(const RefDataCacheCursorImpl&) = delete;

    // --- filling (the query layer, in this order) --------------------------------
    // Clears the cursor and sets the column count; false when count < 1 or the
    // names cannot be allocated (the cursor then has no names).
    bool setColumns(int count);
    // Ignored for an index outside the columns.
    void setColumnName(int column, const QxbString& name);
    // Appends a row of null values and makes it current. Answers the new row
    // count, or 0 when memory ran out (nothing was added).
    int addRow();
    // Assigns into the current row. False when nothing was stored: no current
    // row, a column outside the row, or memory ran out.
    bool setValue(int column, const QxbDatavar& value);
    // The first next() then makes the first row current.
    void rewind();
    // Frees rows and names; the column count stays.
    void clear();
    int getRowCount() const { return static_cast<int>(rowCount); }

    // --- reading -------------------------------------------------------------------
    // Answers 1 once after the last row; the next call starts again at row 0.
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

    static constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

private:
    ~RefDataCacheCursorImpl() override;

    static constexpr std::size_t kCellsPerChunk = 4096;
    struct CellChunk {
        std::uint8_t tags[kCellsPerChunk];
        std::uint64_t payloads[kCellsPerChunk];
    };
    // Memory taken from the system in slabs of up to 8 MiB that the kernel
    // may back with huge pages: a cache of millions of cells then costs a few
    // hundred page faults instead of tens of thousands. Nothing is given back
    // before clear(). Fresh memory reads as zeros.
    class Slabs {
    public:
        Slabs() = default;
        Slabs(const Slabs&) = delete;
        Slabs& operator=(const Slabs&) = delete;
        ~Slabs() { clear(); }
        void* take(std::size_t size);  // 16-byte aligned; throws bad_alloc
        void clear();

    private:
        struct Mapping {
            void* address;
            std::size_t length;
        };
        std::vector<Mapping> mappings_;
        char* next_ = nullptr;
        std::size_t left_ = 0;
        std::size_t taken_ = 0;  // the slabs' bytes so far
    };
    // Texts are copied once, with their length before them and a NUL after,
    // into blocks that never move.
    class TextArena {
    public:
        const char* store(const char* text, std::size_t length);  // throws bad_alloc
        void clear();

    private:
        static constexpr std::size_t kBlockSize = 256 * 1024;
        Slabs slabs_;
        char* current_ = nullptr;  // the block short texts are appended to
        std::size_t used_ = 0;     // bytes used of it
    };

    // Index of the cell (row, column) among all cells, or kNoRow when the
    // column is outside the row or there is no such row.
    std::size_t cellIndex(std::size_t row, int column) const;
    std::size_t currentCell(int column) const { return cellIndex(currentRow, column); }
    std::uint8_t tagAt(std::size_t cell) const;
    std::uint64_t payloadAt(std::size_t cell) const;
    void storeCell(std::size_t cell, std::uint8_t tag, std::uint64_t payload);
    const char* storeText(int column, const QxbString& text);
    QxbDatavar valueAt(std::size_t cell) const;

    // firstRow is row 0 whenever rowCount > 0.
    std::size_t currentRow = kNoRow;
    std::unique_ptr<QxbString[]> columnNames;
    int columnCount = 0;
    std::uint32_t rowCount = 0;

    Slabs cellSlabs_;
    std::vector<CellChunk*> chunks_;  // in cellSlabs_
    TextArena texts_;
    // Per column, the text stored last: a repeated value shares its copy.
    std::vector<const char*> lastTexts_;
};
