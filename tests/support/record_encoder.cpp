#include "tests/support/record_encoder.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace quenlow::testing {

namespace {

void put_u16(std::vector<std::byte>& out, std::size_t at, std::uint16_t v) {
    out[at] = std::byte{static_cast<std::uint8_t>(v & 0xFF)};
    out[at + 1] = std::byte{static_cast<std::uint8_t>(v >> 8)};
}

void append_u16(std::vector<std::byte>& out, std::uint16_t v) {
    out.push_back(std::byte{static_cast<std::uint8_t>(v & 0xFF)});
    out.push_back(std::byte{static_cast<std::uint8_t>(v >> 8)});
}

constexpr std::uint8_t kNullBitmapPresent = 0x10;
constexpr std::uint8_t kVariableColumnsPresent = 0x20;

}  // namespace

RecordLayout make_record_layout(std::span<const ColumnSpec> columns) {
    RecordLayout layout;
    layout.slot_of_column.assign(columns.size(), -1);
    int fixed_offset = 4;
    int bit_byte_offset = -1;
    int bits_in_byte = 8;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const ColumnSpec& c = columns[i];
        if (!c.stored) continue;
        PhysicalColumn p;
        p.column = i;
        p.physical_id = static_cast<std::int32_t>(layout.columns.size() + 1);
        p.null_bit = p.physical_id;
        if (c.variable()) {
            p.variable = true;
            p.leaf_offset = static_cast<std::int16_t>(-(layout.variable_count + 1));
            ++layout.variable_count;
        } else if (c.type == SqlType::Bit) {
            if (bits_in_byte == 8) {
                bit_byte_offset = fixed_offset;
                bits_in_byte = 0;
                p.width = 1;
                fixed_offset += 1;
            }
            p.leaf_offset = static_cast<std::int16_t>(bit_byte_offset);
            p.bit_position = static_cast<std::uint8_t>(bits_in_byte++);
        } else {
            p.leaf_offset = static_cast<std::int16_t>(fixed_offset);
            p.width = c.fixed_width();
            fixed_offset += p.width;
        }
        layout.slot_of_column[i] = static_cast<int>(layout.columns.size());
        layout.columns.push_back(p);
    }
    layout.fixed_length = static_cast<std::uint16_t>(fixed_offset - 4);
    return layout;
}

std::vector<std::byte> encode_record(const RecordLayout& layout, std::span<const ColumnSpec> columns,
                                     std::span<const Value> row, const LobPlacer& lobs) {
    if (row.size() != columns.size())
        throw std::invalid_argument("row has " + std::to_string(row.size()) + " values for " +
                                    std::to_string(columns.size()) + " columns");
    const std::size_t n = layout.columns.size();
    std::vector<std::byte> fixed(layout.fixed_length);
    std::vector<std::byte> bitmap((n + 7) / 8);
    std::vector<std::vector<std::byte>> variable_values;
    std::vector<bool> complex;
    std::size_t last_non_null_variable = 0;  // count of variable values up to the last non-NULL one

    for (const PhysicalColumn& p : layout.columns) {
        const ColumnSpec& column = columns[p.column];
        const Value& value = row[p.column];
        if (value.is_null()) {
            if (!column.nullable) throw std::invalid_argument("column " + column.name + " is not nullable");
            auto bit = static_cast<std::size_t>(p.null_bit - 1);
            bitmap[bit / 8] |= std::byte{static_cast<std::uint8_t>(1u << (bit % 8))};
            if (p.variable) {
                variable_values.emplace_back();
                complex.push_back(false);
            }
            continue;
        }
        std::vector<std::byte> bytes = encode_value(column, value);
        if (p.variable) {
            const bool lob = column.on_lob_pages();
            if (lob && !lobs) throw std::invalid_argument("column " + column.name + " needs LOB pages");
            if (lob) bytes = lobs(column, bytes);
            complex.push_back(lob);
            variable_values.push_back(std::move(bytes));
            last_non_null_variable = variable_values.size();
        } else if (column.type == SqlType::Bit) {
            if (bytes[0] != std::byte{0})
                fixed[static_cast<std::size_t>(p.leaf_offset - 4)] |=
                    std::byte{static_cast<std::uint8_t>(1u << p.bit_position)};
        } else {
            std::memcpy(fixed.data() + (p.leaf_offset - 4), bytes.data(), bytes.size());
        }
    }
    variable_values.resize(last_non_null_variable);

    std::vector<std::byte> record(4);
    std::uint8_t status = kNullBitmapPresent;
    if (!variable_values.empty()) status |= kVariableColumnsPresent;
    record[0] = std::byte{status};
    put_u16(record, 2, static_cast<std::uint16_t>(4 + layout.fixed_length));
    record.insert(record.end(), fixed.begin(), fixed.end());
    append_u16(record, static_cast<std::uint16_t>(n));
    record.insert(record.end(), bitmap.begin(), bitmap.end());
    if (!variable_values.empty()) {
        append_u16(record, static_cast<std::uint16_t>(variable_values.size()));
        std::size_t end = record.size() + 2 * variable_values.size();
        for (std::size_t i = 0; i < variable_values.size(); ++i) {
            end += variable_values[i].size();
            append_u16(record, static_cast<std::uint16_t>(end | (complex[i] ? 0x8000u : 0u)));
        }
        for (const auto& v : variable_values) record.insert(record.end(), v.begin(), v.end());
    }
    if (record.size() > kMaxRecordLength)
        throw std::invalid_argument("record of " + std::to_string(record.size()) +
                                    " bytes is longer than 8060");
    return record;
}

std::vector<std::byte> encode_fixed_record(std::span<const std::byte> fixed) {
    std::vector<std::byte> record(4 + fixed.size() + 2);
    put_u16(record, 2, static_cast<std::uint16_t>(4 + fixed.size()));
    if (!fixed.empty()) std::memcpy(record.data() + 4, fixed.data(), fixed.size());
    return record;
}

}  // namespace quenlow::testing
