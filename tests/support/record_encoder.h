#pragma once
// Lays a table's columns out as a row record and encodes rows.
//
// A row record:
//
//   offset | size        | field
//   -------+-------------+-------------------------------------------------------------------
//        0 | 1           | status A: bits 1-3 record type (0 primary), bit 4 null bitmap present,
//          |             | bit 5 variable columns present
//        1 | 1           | status B (0)
//        2 | 2           | offset of the column count = 4 + length of the fixed data
//        4 | fixed       | fixed-length columns in column order; bit columns share a byte, placed
//          |             | where the first bit column of the group stands (up to eight per byte)
//          | 2           | column count (stored columns)
//          | ceil(n / 8) | null bitmap: bit i set = stored column i + 1 is NULL
//          | 2           | variable column count (trailing NULL variable columns are left out)
//          | 2 per value | end offset of each variable value, from the record start
//          | ...         | variable values in column order
//
// The layout gives every stored column what the catalog records of it: leaf offset (record offset of a
// fixed column, -(k + 1) for the k-th variable column), null bit (1-based bitmap position) and physical
// column id (1-based position among the stored columns).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "tests/support/sql_value.h"

namespace quenlow::testing {

inline constexpr std::size_t kMaxRecordLength = 8060;

struct PhysicalColumn {
    std::size_t column = 0;  // index into the table's column list
    bool variable = false;
    std::int16_t leaf_offset = 0;
    std::int32_t null_bit = 0;
    std::int32_t physical_id = 0;
    std::uint8_t bit_position = 0;  // bit columns: the bit within the shared byte
    std::int32_t width = 0;         // bytes this column adds to the fixed data
};

struct RecordLayout {
    std::vector<PhysicalColumn> columns;  // stored columns in physical order
    std::vector<int> slot_of_column;      // table column index -> index into columns, -1 when not stored
    std::uint16_t fixed_length = 0;       // bytes of fixed data, without the 4-byte header
    std::uint16_t variable_count = 0;

    const PhysicalColumn* physical(std::size_t column) const {
        int slot = column < slot_of_column.size() ? slot_of_column[column] : -1;
        return slot < 0 ? nullptr : &columns[static_cast<std::size_t>(slot)];
    }
};

RecordLayout make_record_layout(std::span<const ColumnSpec> columns);

// Stores the bytes of a value that lives on LOB pages and returns the item the row keeps for it (a text
// pointer or a root), written as a complex variable value (end offset bit 15 set).
using LobPlacer = std::function<std::vector<std::byte>(const ColumnSpec& column, const std::vector<std::byte>& value)>;

// Encodes one row (one value per table column, NULL allowed only where the column is nullable).
// Values of columns stored on LOB pages go through `lobs`; without it they are refused. Throws
// std::invalid_argument on a value that does not fit or a record longer than 8060 bytes.
std::vector<std::byte> encode_record(const RecordLayout& layout, std::span<const ColumnSpec> columns,
                                     std::span<const Value> row, const LobPlacer& lobs = {});

// A record with only fixed data and a zero column count: the form of allocation map records.
std::vector<std::byte> encode_fixed_record(std::span<const std::byte> fixed);

}  // namespace quenlow::testing
