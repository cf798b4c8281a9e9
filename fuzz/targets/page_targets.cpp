// Targets over single pages and small sets of pages: the page header and slot array, the records of a
// data page (ordinary, compressed and found by the body scan), LOB pages, the boot page, and the
// allocation pages with the walks that follow them.

#include <cstdint>
#include <vector>

#include "engine/pages/allocation_map.h"
#include "engine/pages/boot_page.h"
#include "engine/pages/page_header.h"
#include "engine/pages/record_page.h"
#include "engine/pages/text_mix_page.h"
#include "engine/values/lob_structures.h"
#include "engine/values/row_decoder.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_targets.h"

namespace quenlow::fuzz {

namespace {

// Where the page under test sits in its small file; pages before it are zero.
constexpr std::size_t kPagePosition = 2;

// A file of zero pages with the given page at kPagePosition.
std::vector<PageBuffer> pages_around(const PageBuffer& page, std::size_t position = kPagePosition) {
    std::vector<PageBuffer> pages(position + 2, PageBuffer(kPageBufferSize));
    pages[position] = page;
    return pages;
}

}  // namespace

int page_header(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    PageBuffer page = input.page();
    CPage_Header header(MutableByteSpan(page.data(), page.size()));
    (void)read_slot_array(ByteSpan(page.data(), page.size()), header);
    (void)page_type_name(header.page_type);
    return 0;
}

int record_page(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t bits = input.byte();
    PageBuffer page = input.page();
    FuzzDatabase db(pages_around(page), bits);
    if (db.get() == nullptr) return 0;
    // Building the page parses every record its slots name and every one the body scan finds.
    CDataPage built(page, *db.get());
    (void)table_record_entries(built, (bits & 2) != 0);
    return 0;
}

int text_page(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t bits = input.byte();
    PageBuffer page = input.page();
    FuzzDatabase db(pages_around(page), bits);
    if (db.get() == nullptr) return 0;
    TextMixPage built(page, db.get());
    for (std::size_t i = 0; i < built.records().size(); ++i) {
        const TextRecord* record = built.text_record(i);
        if (record == nullptr || !record->has_lob_bytes()) continue;
        auto structure = parse_lob_structure(record->lob_bytes);
        if (!structure) continue;
        CodePageConverters converters;
        (void)structure->text(converters, 1252);
        (void)structure->hex(64);
    }
    return 0;
}

int boot_page(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t bits = input.byte();
    PageBuffer page = input.page();
    CBootPage boot(page);
    EngineState state;
    boot.identify(state, read_options_from(bits));
    // The same page where a file keeps it (page 9), read as the open reads it.
    FuzzDatabase db(pages_around(page, 9), bits);
    if (db.get() == nullptr) return 0;
    (void)read_boot_page(*db.get());
    (void)measure_page_shift(*db.get());
    return 0;
}

int allocation(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t bits = input.byte();
    std::vector<PageBuffer> pages = input.pages(24);
    const std::size_t count = pages.size();
    FuzzDatabase db(pages, bits);
    if (db.get() == nullptr) return 0;
    OpenedDatabase& opened = *db.get();
    PageFreeSpace free_space(opened);
    for (std::size_t i = 0; i < count; ++i) {
        const PageAddress at{kPrimaryFileId, static_cast<std::int32_t>(i)};
        auto raw = opened.read_raw_page(at);
        if (!raw) continue;
        (void)free_space.known_free(at);
        (void)walk_data_page_chain(opened, at);
        (void)walk_header_chain(opened, at);
        // Bitmaps are expanded one entry per extent (64,000 a page): only where a reader would expand
        // one, on the allocation pages and on the first page whatever it holds.
        const auto type = std::to_integer<std::uint8_t>((*raw)[page_layout::kType]);
        if (i != 0 && type != kPageTypeGam && type != kPageTypeSgam && type != kPageTypeIam) continue;
        ExtentAllocationMap map(*raw, opened);
        for (const ExtentRange& extent : map.allocated_extents(64)) (void)extent_pages(extent);
        IamWalkEnd end;
        (void)walk_iam_chain(opened, at, opened.iam_pages().lookup(map.header().object_id), nullptr, &end);
    }
    return 0;
}

}  // namespace quenlow::fuzz
