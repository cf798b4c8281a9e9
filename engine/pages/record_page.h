#pragma once
// Page objects and the record list a page builds from its slot array.
//
//   CPage                    header, buffer, the database the page was read from
//   └─ RecordPage            record list (one entry per slot), scan candidates, slot array
//      └─ PrimaryRecordPage  compression information; builds the record list
//         ├─ CDataPage       a data page of a table
//         └─ ExtentAllocationMap (allocation_map.h), and the boot page
//
// A page object owns its 8193-byte buffer (the page and a zero byte) and everything parsed from it;
// records hold views into that buffer and must not outlive the page. Page objects are neither copied
// nor moved, since their records point back at them.
//
// Which records a page delivers depends on two settings of the engine state:
//   show deleted off           types 0, 1, 2 named by slots; a page whose ghost count is at least its
//                              slot count delivers none
//   show deleted on            also type 6 (deleted data rows still named by a slot)
//   and show advanced deleted  also records found by the body scan between the slotted ones

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>
#include <vector>

#include "engine/pages/byte_reader.h"
#include "engine/pages/compressed_record.h"
#include "engine/pages/data_file.h"
#include "engine/pages/page_address.h"
#include "engine/pages/page_header.h"
#include "engine/pages/record.h"

namespace quenlow {

class OpenedDatabase;

class CPage {
  public:
    virtual ~CPage() = default;
    CPage(const CPage&) = delete;
    CPage& operator=(const CPage&) = delete;

    const CPage_Header& header() const { return header_; }
    // The buffer as read: the 8192 page bytes followed by one zero byte.
    ByteSpan buffer() const { return buffer_; }
    ByteSpan page_bytes() const { return ByteSpan(buffer_).first(kPageSize); }
    // Null for a page built from bytes alone.
    OpenedDatabase* database() const { return database_; }

    // The stop flag and layout of the database's state and the deleted-record choices of its read
    // options; all off for a page without a database.
    bool stop_requested() const;
    bool show_deleted() const;
    bool show_advanced_deleted() const;
    bool sql2000_layout() const;

    // Records of a page whose own page id is negative or whose type is above 17 are refused.
    bool accepts_records() const;

    // The page's bytes, for the next page read to use again; the page holds nothing afterwards and is
    // only to be destroyed (its records view these bytes).
    PageBuffer take_buffer() { return std::move(buffer_); }

  protected:
    // Takes the buffer, brought to 8193 bytes (bytes missing are zero). With decode_header the header
    // is decoded, which repairs the torn bits of the buffer in place.
    CPage(PageBuffer buffer, OpenedDatabase* database, bool decode_header);

    CPage_Header header_;
    OpenedDatabase* database_ = nullptr;
    PageBuffer buffer_;
};

class RecordPage : public CPage {
  public:
    using RecordList = std::vector<std::unique_ptr<CRecord, RecordDeleter>>;

    // One entry per slot: the record, or null for a slot that names nothing usable.
    const RecordList& records() const { return records_; }
    RecordList& records() { return records_; }
    // Records the body scan parsed, in page order.
    const RecordList& scan_candidates() const { return candidates_; }
    void release_scan_candidates() { candidates_.clear(); }
    // Record offsets of the slot array (after the body scan, the rebuilt one); nothing when the page
    // has no slot array.
    const std::optional<std::vector<std::uint16_t>>& slot_array() const { return slot_array_; }
    // How many entries the page's own slot array has; the records after them are those the body scan
    // found between the records (no slot names them).
    std::size_t listed_slots() const { return listed_slots_; }

  protected:
    using CPage::CPage;

    RecordList records_;
    RecordList candidates_;
    std::optional<std::vector<std::uint16_t>> slot_array_;
    std::size_t listed_slots_ = 0;
};

// Which slot a single-slot page reads, and how many forwarding stubs led there.
struct SingleSlot {
    int slot = 0;
    int forwarding_hops = 0;
};

class PrimaryRecordPage : public RecordPage {
  public:
    // Builds the header, the slot array, the compression information, the body scan (when both
    // deleted-record settings are on) and the record list.
    PrimaryRecordPage(PageBuffer buffer, OpenedDatabase& database);
    // Builds a page whose record list holds only the record of one slot; used to follow a stub.
    PrimaryRecordPage(PageBuffer buffer, OpenedDatabase& database, SingleSlot slot);

    // Record i of the list as the primary record it is; null for a null entry or past the end.
    const CPrimaryRecord* primary_record(std::size_t i) const;
    CPrimaryRecord* primary_record(std::size_t i);
    const CompressionInfo& compression() const { return compression_; }

  protected:
    // Keeps the buffer alone: no header, no slot array, no records. For pages whose single record is
    // read at a fixed place.
    explicit PrimaryRecordPage(PageBuffer buffer);

  private:
    void build_record_list();
    void build_single_slot(SingleSlot slot);
    void run_body_scan();
    // Builds the record at a slot offset in the page's storage, expanding it when it is in the compact
    // format.
    CPrimaryRecord& build_slot_record(std::uint16_t offset, int forwarding_hops);
    bool header_sane() const;

    CompressionInfo compression_;
    // Where the lists of the slots' records live; released as a whole with the page.
    std::pmr::monotonic_buffer_resource record_memory_;
    // The records of the slots, made in place: reserved once for every slot, so that they never move.
    std::vector<CPrimaryRecord> slot_records_;
};

class CDataPage final : public PrimaryRecordPage {
  public:
    CDataPage(PageBuffer buffer, OpenedDatabase& database) : PrimaryRecordPage(std::move(buffer), database) {}
};

// Reads and builds the data page at address; nothing when the address is refused. With a spare buffer
// (one a page gave back through take_buffer), the page is read into its memory.
std::unique_ptr<CDataPage> read_data_page(OpenedDatabase& database, PageAddress address,
                                          PageBuffer spare = {});

}  // namespace quenlow
