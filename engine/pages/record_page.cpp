#include "engine/pages/record_page.h"

#include "engine/pages/opened_database.h"

namespace quenlow {

namespace {
constexpr std::uint32_t kHighestRecordPageType = 17;
// Slot offsets above this cannot name a record when a stub is followed.
constexpr std::uint16_t kMaxForwardedSlotOffset = 8096;
constexpr int kMaxSlotCount = 8192;

bool negative16(std::uint16_t v) {
    return static_cast<std::int16_t>(v) < 0;
}

// Whether the stub a forwarded record points back at still names it (slot `slot` of the page `here`).
// Only the stub's page header and slot are read: its records are not built, so no stub is followed.
bool stub_leads_here(OpenedDatabase& database, const CPrimaryRecord& forwarded, PageAddress here, int slot) {
    const auto place = back_pointer(forwarded);
    if (!place || place->slot < 0) return false;
    auto raw = database.read_raw_page(PageAddress{place->file_id, place->page_id});
    if (!raw || raw->size() < kPageSize) return false;
    const CPage_Header header(MutableByteSpan(raw->data(), kPageSize));
    const ByteSpan bytes = ByteSpan(*raw).first(kPageSize);
    const auto slots = read_slot_array(bytes, header);
    if (!slots || place->slot >= header.slot_count || static_cast<std::size_t>(place->slot) >= slots->size())
        return false;
    const std::uint16_t offset = (*slots)[static_cast<std::size_t>(place->slot)];
    if (offset < page_layout::kHeaderSize || offset >= kPageSize) return false;
    return stub_names(bytes.subspan(offset), here.file_id, here.page_id, slot);
}
}  // namespace

CPage::CPage(PageBuffer buffer, OpenedDatabase* database, bool decode_header)
    : database_(database), buffer_(std::move(buffer)) {
    buffer_.resize(kPageBufferSize, std::byte{0});
    buffer_[kPageSize] = std::byte{0};
    if (decode_header) header_ = CPage_Header(MutableByteSpan(buffer_.data(), kPageSize));
}

bool CPage::stop_requested() const {
    return database_ != nullptr && database_->state().stop_requested();
}
bool CPage::show_deleted() const {
    return database_ != nullptr && database_->options().show_deleted;
}
bool CPage::show_advanced_deleted() const {
    return database_ != nullptr && database_->options().show_advanced_deleted;
}
bool CPage::sql2000_layout() const {
    return database_ != nullptr && database_->state().sql2000_layout.load();
}

bool CPage::accepts_records() const {
    return header_.this_page.page_id >= 0 && header_.page_type <= kHighestRecordPageType;
}

PrimaryRecordPage::PrimaryRecordPage(PageBuffer buffer) : RecordPage(std::move(buffer), nullptr, false) {}

PrimaryRecordPage::PrimaryRecordPage(PageBuffer buffer, OpenedDatabase& database)
    : RecordPage(std::move(buffer), &database, true) {
    slot_array_ = read_slot_array(page_bytes(), header_);
    listed_slots_ = slot_array_ ? slot_array_->size() : 0;
    read_compression_info(page_bytes(), *this, compression_);
    if (slot_array_ && show_deleted() && show_advanced_deleted()) run_body_scan();
    build_record_list();
}

PrimaryRecordPage::PrimaryRecordPage(PageBuffer buffer, OpenedDatabase& database, SingleSlot slot)
    : RecordPage(std::move(buffer), &database, true) {
    slot_array_ = read_slot_array(page_bytes(), header_);
    listed_slots_ = slot_array_ ? slot_array_->size() : 0;
    read_compression_info(page_bytes(), *this, compression_);
    build_single_slot(slot);
}

const CPrimaryRecord* PrimaryRecordPage::primary_record(std::size_t i) const {
    // Every record this class puts in its list is a primary record.
    return i < records_.size() ? static_cast<const CPrimaryRecord*>(records_[i].get()) : nullptr;
}

CPrimaryRecord* PrimaryRecordPage::primary_record(std::size_t i) {
    return i < records_.size() ? static_cast<CPrimaryRecord*>(records_[i].get()) : nullptr;
}

// A header whose counts or page pointers are negative belongs to a page that cannot be trusted to
// hold records.
bool PrimaryRecordPage::header_sane() const {
    const CPage_Header& h = header_;
    return h.ghost_record_count >= 0 && !negative16(h.free_count) && !negative16(h.next_page.file_id) &&
           h.next_page.page_id >= 0 && !negative16(h.this_page.file_id) && h.this_page.page_id >= 0 &&
           !negative16(h.prev_page.file_id) && h.prev_page.page_id >= 0;
}

void PrimaryRecordPage::build_record_list() {
    if (!slot_array_ || header_.slot_count > kMaxSlotCount || !header_sane()) return;
    const std::vector<std::uint16_t>& slots = *slot_array_;
    const int n = header_.slot_count;
    // Index pages above the leaf level hold keys, not rows; a page whose every record is a ghost holds
    // nothing to show unless deleted records are asked for.
    const bool none = (header_.page_type == kPageTypeIndex && header_.level != 0) ||
                      (header_.ghost_record_count >= n && !show_deleted());
    records_.reserve(slots.size());
    slot_records_.reserve(slots.size());
    for (std::uint16_t offset : slots) {
        if (none || offset == 0 || offset > kPageSize || offset < page_layout::kHeaderSize) {
            records_.push_back(nullptr);
            continue;
        }
        CPrimaryRecord& record = build_slot_record(offset, 0);
        records_.emplace_back(&record, RecordDeleter(false));
        if (record.type == kRecordForwarded && !record.invalid && database_ != nullptr)
            record.reached_through_stub =
                stub_leads_here(*database_, record, header_.this_page, static_cast<int>(records_.size() - 1));
    }
}

void PrimaryRecordPage::build_single_slot(SingleSlot slot) {
    if (!slot_array_ || slot.slot < 0 || slot.slot >= header_.slot_count) return;
    const std::uint16_t offset = (*slot_array_)[static_cast<std::size_t>(slot.slot)];
    if (offset == 0 || offset > kMaxForwardedSlotOffset) {
        records_.push_back(nullptr);
        return;
    }
    slot_records_.reserve(1);
    records_.emplace_back(&build_slot_record(offset, slot.forwarding_hops), RecordDeleter(false));
}

CPrimaryRecord& PrimaryRecordPage::build_slot_record(std::uint16_t offset, int forwarding_hops) {
    const auto max_length = static_cast<std::uint16_t>(kPageSize - offset);
    CPrimaryRecord& record = slot_records_.emplace_back(this, max_length, &record_memory_);
    build_primary_record(record, page_bytes().subspan(offset), *this, forwarding_hops);
    if (record.compressed && !record.invalid && !sql2000_layout()) expand_compact_record(record, *this);
    return record;
}

std::unique_ptr<CDataPage> read_data_page(OpenedDatabase& database, PageAddress address, PageBuffer spare) {
    if (!database.read_raw_page(address, spare)) return nullptr;
    return std::make_unique<CDataPage>(std::move(spare), database);
}

}  // namespace quenlow
