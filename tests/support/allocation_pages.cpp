#include "tests/support/allocation_pages.h"

#include <algorithm>
#include <cstring>

#include "engine/pages/page_header.h"
#include "tests/support/page_writer.h"
#include "tests/support/record_encoder.h"
#include "tests/support/sql_value.h"
#include "tests/support/system_tables.h"

namespace quenlow::testing {

namespace {

using Bytes = std::vector<std::byte>;

template <typename T>
void put(Bytes& out, std::size_t at, T v) {
    std::memcpy(out.data() + at, &v, sizeof(T));
}

std::span<std::byte> page_span(Bytes& image, std::int32_t page) {
    return {image.data() + static_cast<std::size_t>(page) * kPageSize, kPageSize};
}

PageHeaderFields allocation_header(std::uint8_t type, std::int32_t page) {
    PageHeaderFields h;
    h.type = type;
    h.object_id = system_object::kAllocationPages;
    h.page_id = page;
    return h;
}

void set_bit(Bytes& bitmap, std::size_t bit) {
    bitmap[bit / 8] |= std::byte{static_cast<std::uint8_t>(1u << (bit % 8))};
}

// A map page: header record, then the bitmap record.
void write_map_page(Bytes& image, std::uint8_t type, std::int32_t page, const Bytes& bitmap) {
    Bytes header(kIamHeaderFixed);
    put<std::int32_t>(header, 36, 0);
    put<std::uint16_t>(header, 40, 1);
    write_page(page_span(image, page), allocation_header(type, page),
               {encode_fixed_record(header), encode_fixed_record(bitmap)});
}

struct ExtentUse {
    std::vector<bool> uniform;
    std::vector<int> used_pages;  // written pages per extent
};

ExtentUse extent_use(const DatabaseModel& m, const std::set<std::int32_t>& written, std::size_t extents) {
    ExtentUse use{std::vector<bool>(extents, false), std::vector<int>(extents, 0)};
    for (const StoredTable& t : m.tables)
        for (std::int32_t e : t.uniform_extents) use.uniform[static_cast<std::size_t>(e / 8)] = true;
    for (std::int32_t p : written) ++use.used_pages[static_cast<std::size_t>(p / 8)];
    return use;
}

void write_iam_page(Bytes& image, const StoredTable& t) {
    Bytes header(kIamHeaderFixed);
    put<std::uint16_t>(header, 14, static_cast<std::uint16_t>(t.single_pages));
    put<std::int32_t>(header, 36, 0);  // the bitmap covers the interval that starts at page 0
    put<std::uint16_t>(header, 40, 1);
    for (std::size_t k = 0; k < t.single_pages; ++k) {
        put<std::int32_t>(header, 42 + 6 * k, t.pages[k]);
        put<std::uint16_t>(header, 46 + 6 * k, 1);
    }
    Bytes bitmap(kBitmapFixed);
    for (std::int32_t e : t.uniform_extents) set_bit(bitmap, static_cast<std::size_t>(e / 8));
    PageHeaderFields h;
    h.type = kPageTypeIam;
    h.object_id = t.page_object_id;
    h.index_id = t.iam_index_id;
    h.page_id = t.iam_page;
    write_page(page_span(image, t.iam_page), h, {encode_fixed_record(header), encode_fixed_record(bitmap)});
}

void write_boot_page(Bytes& image, const DatabaseModel& m) {
    const DatabaseSpec& blueprint = *m.blueprint;
    Bytes fixed(kBootFixed);
    // Offsets below are page offsets less the 100 bytes of page and record header.
    put<std::uint16_t>(fixed, 0, blueprint.boot_version());
    put<std::uint16_t>(fixed, 2, blueprint.create_version != 0 ? blueprint.create_version : blueprint.boot_version());
    Bytes name = utf16_bytes(blueprint.name);
    name.resize(std::min<std::size_t>(name.size(), 256));
    for (std::size_t i = 0; i < 256; i += 2) {
        std::byte lo = i < name.size() ? name[i] : std::byte{' '};
        std::byte hi = i < name.size() ? name[i + 1] : std::byte{0};
        fixed[48 + i] = lo;
        fixed[48 + i + 1] = hi;
    }
    put<std::int32_t>(fixed, 388, blueprint.collation_id);
    put<std::int32_t>(fixed, 512, m.tables.front().first_page());
    put<std::uint16_t>(fixed, 516, 1);
    write_page(page_span(image, 9), allocation_header(kPageTypeBoot, 9), {encode_fixed_record(fixed)});
}

void write_pfs_page(Bytes& image, const DatabaseModel& m, const std::set<std::int32_t>& written,
                    const ExtentUse& use) {
    std::vector<std::uint8_t> bytes(kPfsFixed);
    std::set<std::int32_t> iam;
    for (const StoredTable& t : m.tables)
        if (t.iam_page != 0) iam.insert(t.iam_page);
    for (std::int32_t p : written) {
        if (static_cast<std::size_t>(p) >= bytes.size()) continue;
        std::uint8_t v = 0x40;
        if (!use.uniform[static_cast<std::size_t>(p / 8)]) v |= 0x20;
        if (iam.count(p)) v |= 0x08;
        bytes[static_cast<std::size_t>(p)] = v;
    }
    const PageBuffer page = pfs_page(1, bytes);
    std::copy_n(page.begin(), kPageSize, page_span(image, 1).begin());
}

}  // namespace

PageBuffer pfs_page(std::int32_t page_id, const std::vector<std::uint8_t>& bytes, std::uint16_t file_id) {
    PageBuffer page(kPageBufferSize, std::byte{0});
    Bytes fixed(bytes.size());
    std::transform(bytes.begin(), bytes.end(), fixed.begin(), [](std::uint8_t b) { return std::byte{b}; });
    PageHeaderFields h = allocation_header(kPageTypePfs, page_id);
    h.file_id = file_id;
    write_page(std::span<std::byte>(page.data(), kPageSize), h, {encode_fixed_record(fixed)});
    return page;
}

void write_allocation_pages(Bytes& image, const DatabaseModel& m, std::set<std::int32_t>& written) {
    for (const StoredTable& t : m.tables)
        if (t.iam_page != 0) {
            write_iam_page(image, t);
            written.insert(t.iam_page);
        }
    for (std::int32_t p : {0, 1, 2, 3, 6, 7, 9}) written.insert(p);

    const std::size_t extents = image.size() / kPageSize / 8;
    const ExtentUse use = extent_use(m, written, extents);
    Bytes gam(kBitmapFixed), sgam(kBitmapFixed), empty(kBitmapFixed);
    for (std::size_t e = 0; e < extents && e < kBitmapFixed * 8; ++e) {
        if (!use.uniform[e] && use.used_pages[e] == 0) set_bit(gam, e);
        if (!use.uniform[e] && use.used_pages[e] > 0 && use.used_pages[e] < 8) set_bit(sgam, e);
    }

    write_page(page_span(image, 0), allocation_header(kPageTypeFileHeader, 0), {});
    write_pfs_page(image, m, written, use);
    write_map_page(image, kPageTypeGam, 2, gam);
    write_map_page(image, kPageTypeSgam, 3, sgam);
    write_map_page(image, kPageTypeDiffMap, 6, empty);
    write_map_page(image, kPageTypeMlMap, 7, empty);
    write_boot_page(image, m);
}

}  // namespace quenlow::testing
