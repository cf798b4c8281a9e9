#include "engine/pages/page_owner.h"

#include "engine/pages/page_header.h"
#include "engine/pages/page_map.h"

namespace quenlow {

namespace {

// Object ids up to this one are system base tables (the page maps split there too).
constexpr std::int32_t kLastSystemObjectId = 100;
// In SQL Server 2000 every data page says index 0, whichever index orders it.
constexpr std::uint16_t kLegacyDataPageIndexId = 0;
constexpr std::uint16_t kLegacyClusteredIndexId = 1;

}  // namespace

UnitPages UnitPages::of_unit(std::int64_t unit_id, std::int32_t owning_object_id) {
    UnitPages unit;
    if (unit_id == 0 || unit_id == -1) return unit;
    const auto id = static_cast<std::uint64_t>(unit_id);
    unit.object_number_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(id >> 16));
    unit.index_id_ = static_cast<std::uint16_t>(id >> 48);
    const bool older_form = (id & 0xFFFFu) == 0 && !names_new_unit(unit.index_id_);
    const bool carried_over =
        older_form && unit.object_number_ == owning_object_id && owning_object_id > kLastSystemObjectId;
    unit.kind_ = carried_over && unit.index_id_ == kLegacyClusteredIndexId ? Kind::kCarriedOverClustered
                                                                           : Kind::kExact;
    return unit;
}

UnitPages UnitPages::of_object(std::int32_t object_id) {
    UnitPages unit;
    if (object_id <= 0) return unit;
    unit.kind_ = Kind::kObjectOnly;
    unit.object_number_ = object_id;
    return unit;
}

bool UnitPages::owns(std::int32_t header_object_id, std::uint16_t header_index_id) const {
    if (kind_ == Kind::kNothing || header_object_id != object_number_) return false;
    switch (kind_) {
        case Kind::kExact:
            return header_index_id == index_id_;
        case Kind::kCarriedOverClustered:
            return header_index_id == index_id_ || header_index_id == kLegacyDataPageIndexId;
        case Kind::kObjectOnly:
            return true;
        case Kind::kNothing:
            break;
    }
    return false;
}

bool UnitPages::owns(const CPage_Header& header) const {
    return owns(header.object_id, header.index_id);
}

std::vector<PageMapEntry> UnitPages::entries(const PageMap& map, std::uint32_t page_type) const {
    std::vector<PageMapEntry> out;
    if (owns_nothing()) return out;
    for (const PageMapEntry& e : map.lookup(object_number_))
        if ((page_type == 0 || e.page_type == page_type) && owns(object_number_, e.index_id))
            out.push_back(e);
    return out;
}

bool TablePages::owns(std::int32_t header_object_id, std::uint16_t header_index_id) const {
    for (const UnitPages& unit : units_)
        if (unit.owns(header_object_id, header_index_id)) return true;
    return false;
}

bool TablePages::owns(const CPage_Header& header) const {
    return owns(header.object_id, header.index_id);
}

}  // namespace quenlow
