#pragma once
// Writes records in the compact (row- and page-compressed) format, and the compression information of a
// page-compressed page, for the tests and the test database builder.
//
// A compact record is written from its columns, each a code and the bytes that code stands for:
//
//   code  bytes                                  written to
//   0     none (NULL)                            -
//   1     none (empty; the anchor value on a     -
//         page with one for the column)
//   2-9   code - 1 bytes                         short data
//   10    any length; `complex` sets bit 15 of   long data region
//         its end offset
//   11    none (bit 1)                           -
//   12    one byte: the dictionary symbol        short data
//
// Column count: one byte below 128, else two (bit 7 of the first set). Records of more than 30 columns
// carry one byte per 30-column cluster but the last, before the short data (the cluster's short data
// bytes) and after the long offsets (the cluster's long values).
//
// Values in compact form (compact_form) follow the rules of the engine's rebuild, the other way round:
// integers big-endian, shortest, top bit flipped; decimals in the variable decimal form; real/float
// without their zero low-order bytes; char/binary/nchar without trailing blanks or zero bytes; Unicode
// text in SCSU when that is shorter (padded to an odd length with SC0), else UTF-16LE; rowversion without
// its leading zero bytes; time, datetime2 and datetimeoffset as their ordinary bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tests/support/record_encoder.h"
#include "tests/support/sql_value.h"

namespace quenlow::testing {

using Bytes = std::vector<std::byte>;

struct CompactColumn {
    int code = 0;
    Bytes bytes;
    bool complex = false;

    static CompactColumn null() { return {0, {}, false}; }
    static CompactColumn empty() { return {1, {}, false}; }
    static CompactColumn bit_one() { return {11, {}, false}; }
    static CompactColumn symbol(std::uint8_t s) { return {12, {std::byte{s}}, false}; }
    // A value of these bytes: short (code 2-9) up to 8 bytes, long (code 10) beyond; empty: code 1.
    static CompactColumn value(Bytes bytes, bool complex = false);
};

struct CompactRecordSpec {
    int type = 0;  // record type, bits 1-3 of the status byte (6: a deleted row)
    std::vector<CompactColumn> columns;
    // Written instead of the number of columns.
    std::optional<std::uint16_t> column_count;
};

Bytes build_compact_record(const CompactRecordSpec& blueprint);

// Compression information (the bytes from page offset 96): flags, change count 0, the end offsets, the
// anchor record, the dictionary.
struct CompressionInfoSpec {
    std::optional<Bytes> anchor;            // a compact record
    std::optional<std::vector<Bytes>> dictionary;
};
Bytes build_compression_info(const CompressionInfoSpec& blueprint);

// Value forms.
Bytes compact_integer(std::int64_t value);
// UTF-16 code units to SCSU from the initial state (not padded).
Bytes scsu_encode(std::span<const std::byte> utf16le);
// The compact form of a value whose ordinary stored form is `ordinary` (encode_value's bytes).
Bytes compact_form(const ColumnSpec& column, const Bytes& ordinary);

// The columns of one row, in physical order. Values stored on LOB pages go through `lobs` and become
// complex long values.
std::vector<CompactColumn> compact_columns(const RecordLayout& layout, std::span<const ColumnSpec> columns,
                                           std::span<const Value> row, const LobPlacer& lobs = {});

// Page compression of the rows of one page: anchor values from the first row (columns with a value of
// their own, all but the first), the values rewritten against them (a value equal to its anchor is code
// 1), and a dictionary of the stored values of four bytes or more that occur more than once.
struct CompressedPage {
    Bytes info;
    std::vector<Bytes> records;
};
CompressedPage compress_page(const std::vector<std::vector<CompactColumn>>& rows,
                             std::span<const ColumnSpec> columns, const RecordLayout& layout);

}  // namespace quenlow::testing
