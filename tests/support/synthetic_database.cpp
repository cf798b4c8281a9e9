#include "tests/support/synthetic_database.h"

#include "engine/pages/page_header.h"

namespace quenlow::testing {

namespace {

constexpr std::int32_t kAllocationObject = 99;

// A fixed-length row of one int column: status bits, offset of the column count, the value, the column
// count and a one-byte null bitmap.
Bytes int_row(std::int32_t value) {
    Bytes row = bytes_of({0x10, 0x00, 0x08, 0x00, 0, 0, 0, 0, 0x01, 0x00, 0x00});
    store_le<std::int32_t>(row, 4, value);
    return row;
}

PageSpec header(std::uint8_t type, std::int32_t object_id, std::size_t index, std::uint16_t file_id) {
    PageSpec blueprint;
    blueprint.type = type;
    blueprint.object_id = object_id;
    blueprint.page_id = static_cast<std::int32_t>(index);
    blueprint.file_id = file_id;
    blueprint.flag_bits = 0x0200;  // page checksum present, as servers from 2005 on write by default
    blueprint.lsn_first = 20;
    blueprint.lsn_second = static_cast<std::int32_t>(index) * 8;
    blueprint.lsn_third = 1;
    return blueprint;
}

Bytes data_page(std::int32_t object_id, std::size_t index, const SyntheticDatabaseSpec& blueprint) {
    PageBuilder b(header(kPageTypeData, object_id, index, blueprint.file_id));
    b.blueprint().min_len = 8;
    for (int r = 0; r < blueprint.rows_per_page; ++r)
        b.add_record(int_row(static_cast<std::int32_t>(index) * 100 + r));
    return b.build();
}

// An IAM page: the IAM header row and the extent bitmap row, both empty.
Bytes iam_page(std::int32_t object_id, std::size_t index, const SyntheticDatabaseSpec& blueprint) {
    PageBuilder b(header(kPageTypeIam, object_id, index, blueprint.file_id));
    b.blueprint().min_len = 90;
    Bytes head(94);
    head[0] = std::byte{0x70};
    b.add_record(head);
    Bytes bitmap(98);
    bitmap[0] = std::byte{0x70};
    b.add_record(bitmap);
    return b.build();
}

Bytes boot_page(std::size_t index, const SyntheticDatabaseSpec& blueprint) {
    PageBuilder b(header(kPageTypeBoot, kAllocationObject, index, blueprint.file_id));
    Bytes record(1500);
    record[0] = std::byte{0x30};
    b.add_record(record);
    Bytes page = b.build();
    store_le<std::uint16_t>(page, 100, blueprint.version);
    store_le<std::uint16_t>(page, 102, blueprint.version);
    for (std::size_t i = 0; i < blueprint.name.size() && i < 104; ++i)
        store_le<std::uint16_t>(page, 148 + 2 * i, static_cast<unsigned char>(blueprint.name[i]));
    store_le<std::int32_t>(page, 488, blueprint.collation_id);
    return page;
}

Bytes allocation_page(std::uint8_t type, std::size_t index, const SyntheticDatabaseSpec& blueprint) {
    PageBuilder b(header(type, kAllocationObject, index, blueprint.file_id));
    b.add_record(Bytes(90, std::byte{0}));
    return b.build();
}

}  // namespace

Bytes make_synthetic_database(const SyntheticDatabaseSpec& blueprint) {
    std::vector<Bytes> pages;
    auto want = [&] { return pages.size() < blueprint.page_count; };
    auto here = [&] { return pages.size(); };

    const std::uint8_t fixed_types[] = {kPageTypeFileHeader, kPageTypePfs, kPageTypeGam, kPageTypeSgam};
    for (std::uint8_t t : fixed_types)
        if (want()) pages.push_back(allocation_page(t, here(), blueprint));
    for (int i = 0; i < 2 && want(); ++i) pages.emplace_back(kPageSize);
    if (want()) pages.push_back(allocation_page(kPageTypeDiffMap, here(), blueprint));
    if (want()) pages.push_back(allocation_page(kPageTypeMlMap, here(), blueprint));
    if (want()) pages.push_back(data_page(kSyntheticSystemObjects.front(), here(), blueprint));
    if (want()) pages.push_back(boot_page(here(), blueprint));

    for (std::int32_t id : kSyntheticSystemObjects) {
        if (want()) pages.push_back(iam_page(id, here(), blueprint));
        if (want()) pages.push_back(data_page(id, here(), blueprint));
    }
    for (std::int32_t id : blueprint.user_object_ids) {
        if (want()) pages.push_back(iam_page(id, here(), blueprint));
        if (want()) pages.push_back(data_page(id, here(), blueprint));
    }
    for (std::size_t k = 0; want(); ++k) {
        if (k % 5 == 4 || blueprint.user_object_ids.empty()) {
            pages.emplace_back(kPageSize);
        } else {
            std::int32_t id = blueprint.user_object_ids[k % blueprint.user_object_ids.size()];
            pages.push_back(data_page(id, here(), blueprint));
        }
    }

    DataFileBuilder file;
    for (auto& p : pages) file.add_page(std::move(p));
    return file.image();
}

}  // namespace quenlow::testing
