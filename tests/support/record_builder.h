#pragma once
// Builders for record bytes, record pages and small in-memory databases, for the record and allocation
// map tests.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/pages/data_file.h"
#include "engine/pages/engine_events.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/file_reader.h"
#include "engine/pages/opened_database.h"
#include "engine/pages/page_address.h"
#include "tests/support/page_builder.h"

namespace quenlow::testing {

// Bytes and bytes_of come from the page builder.
Bytes repeat_byte(std::uint8_t value, std::size_t count);
void put_u8(Bytes& bytes, std::size_t offset, std::uint8_t value);
void put_u16(Bytes& bytes, std::size_t offset, std::uint16_t value);
void put_u32(Bytes& bytes, std::size_t offset, std::uint32_t value);
void put_bytes(Bytes& bytes, std::size_t offset, const Bytes& value);

// Status byte A from its parts.
constexpr std::uint8_t record_status(int type, bool null_bitmap = true, bool variable = true,
                                     bool compact = false) {
    return static_cast<std::uint8_t>((compact ? 1 : 0) | (type << 1) | (null_bitmap ? 0x10 : 0) |
                                     (variable ? 0x20 : 0));
}

struct VariableValue {
    Bytes data;
    bool complex = false;
};

// A record in the ordinary format. The null bitmap is written when bit 4 of status A is set (zeros
// unless given), the variable section when bit 5 is set.
struct RecordSpec {
    std::uint8_t status_a = record_status(0);
    std::uint8_t status_b = 0;
    Bytes fixed;
    std::uint16_t column_count = 1;
    Bytes null_bitmap;
    std::vector<VariableValue> variable;
    // Replace what the builder would write.
    std::optional<std::int16_t> fixed_end;
    std::optional<std::uint16_t> variable_count;
    // Added to every variable end offset as written (to point values elsewhere).
    int end_offset_shift = 0;
};

Bytes build_record(const RecordSpec& blueprint);

// A forwarding stub naming slot `slot` of page `target`.
Bytes forwarding_stub(PageAddress target, std::int16_t slot);

// A sparse column vector with the given (column id, value) entries.
Bytes sparse_vector(const std::vector<std::pair<std::uint16_t, Bytes>>& entries);

// Assembles one page: header fields, records placed one after another from byte 96 (or where asked),
// and the slot array at the end.
class PageAssembler {
  public:
    explicit PageAssembler(std::uint8_t type = 1, std::int32_t page_id = 1, std::uint16_t file_id = 1);

    PageAssembler& object_id(std::int32_t id);
    PageAssembler& next_page(PageAddress address);
    PageAssembler& prev_page(PageAddress address);
    PageAssembler& ghost_count(std::int16_t count);
    PageAssembler& level(std::uint8_t level);
    PageAssembler& free_count(std::uint16_t count);
    // Writes this slot count instead of the number of slots added.
    PageAssembler& slot_count(std::int16_t count);
    // Marks the page as carrying compression information (type flag bit 7) and places `info` at the free
    // position (byte 96 on a new page); records follow it.
    PageAssembler& compression_info(const Bytes& info);

    // Places a record at the free position and names it by a new slot; returns its offset.
    std::uint16_t add_record(const Bytes& record);
    // Places bytes at the free position without a slot (the remains of a deleted row).
    std::uint16_t add_unslotted(const Bytes& record);
    // Adds a slot entry holding any offset.
    void add_slot(std::uint16_t offset);
    void put(std::size_t offset, const Bytes& bytes);
    std::uint16_t free_position() const { return static_cast<std::uint16_t>(free_); }

    PageBuffer finish() const;

  private:
    PageBuffer bytes_;
    std::vector<std::uint16_t> slots_;
    std::size_t free_ = 96;
    std::optional<std::int16_t> slot_count_;
};

// A primary file made of page images (page i at i * 8192; missing pages zero), opened through a
// MemoryFileSystem with its own engine state.
class TestDatabase {
  public:
    explicit TestDatabase(std::vector<PageBuffer> pages, const ReadOptions& options = {});
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // The database opened last.
    OpenedDatabase& db() { return *opened_.back(); }
    EngineState& state() { return state_; }
    // Opens the same file once more with other read options; db() is that database from now on. The
    // databases opened before stay open, so pages built on them stay valid.
    OpenedDatabase& reopen(const ReadOptions& options);

  private:
    EngineState state_;
    NullEngineEvents events_;
    MemoryFileSystem files_;
    std::vector<std::unique_ptr<OpenedDatabase>> opened_;
};

// Page images indexed by page number, for TestDatabase: the page at index i, zero pages between.
std::vector<PageBuffer> page_images(std::size_t count, std::vector<std::pair<std::size_t, PageBuffer>> pages);

}  // namespace quenlow::testing
