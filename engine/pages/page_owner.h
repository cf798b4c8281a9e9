#pragma once
// Which table a page belongs to, told by its header.
//
// Files of SQL Server 2005 and later name a page's allocation unit in two header fields, each holding a
// part of the 64-bit allocation unit id:
//
//   unit id bits | header field                  | notes
//   -------------+-------------------------------+------------------------------------------------
//         0..15  | -                             | always 0
//        16..47  | object id (bytes 24-27)       | the unit's "object number"
//        48..63  | index id (bytes 6-7)          |
//
// Units made by a server of 2005 or later count upwards from 1 << 56: their index id part is 256 or more
// and their object number is a counter that has nothing to do with object ids, so it may equal the id
// of a system table or the object number of another unit. A page belongs to such a unit only when both
// fields match.
//
// The system base tables keep fixed units of the older form index id << 48 | object id << 16, and their
// pages carry exactly those two parts as well.
//
// Units carried over from a SQL Server 2000 database (a file upgraded in place) have ids of the same
// older form, whose object part is the owning table's own object id (always above the system range) and
// whose index part is the 2000 index id (0..255). Their pages keep the 2000 header: the table's object id,
// index id 0 on every data page (a table with a clustered index included: its unit says index 1) and 255
// on text/image pages (the unit says 255 too).
//
// SQL Server 2000 files have no allocation units: the object id field is the table's own id, and pages
// are matched on it alone.
//
// A unit id of 0 or -1 (no unit) owns no page.

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/pages/page_address.h"

namespace quenlow {

class CPage_Header;
class PageMap;

// The index id part of every unit made since 2005 is at least this (ids count up from 1 << 56); 2000
// index ids, and the fixed units of the system base tables, stay below.
inline constexpr std::uint16_t kFirstNewUnitIndexId = 256;

// A page whose header index id is of a unit made since 2005: never a page of a system base table.
inline bool names_new_unit(std::uint16_t header_index_id) {
    return header_index_id >= kFirstNewUnitIndexId;
}

// The pages one allocation unit (or, in the 2000 layout, one object) owns.
class UnitPages {
public:
    // Owns nothing.
    UnitPages() = default;
    // The unit of this id whose rowset belongs to the object owning_object_id.
    static UnitPages of_unit(std::int64_t unit_id, std::int32_t owning_object_id);
    // SQL Server 2000 layout: every page whose object id field is the object's id (none for an id of 0 or
    // below).
    static UnitPages of_object(std::int32_t object_id);

    // The object id field its pages carry: the key under which the page maps list them.
    std::int32_t object_number() const { return object_number_; }
    bool owns_nothing() const { return kind_ == Kind::kNothing; }

    // The one matching rule: does a page whose header carries these two fields belong here?
    bool owns(std::int32_t header_object_id, std::uint16_t header_index_id) const;
    bool owns(const CPage_Header& header) const;

    // The entries of a page map that belong here, of the given page type (any type when 0), in map order.
    std::vector<PageMapEntry> entries(const PageMap& map, std::uint32_t page_type = 0) const;

private:
    enum class Kind : std::uint8_t {
        kNothing,
        kExact,                 // both fields
        kCarriedOverClustered,  // both fields, or index id 0 (data pages written by SQL Server 2000)
        kObjectOnly,            // the 2000 layout: the object id field alone
    };
    Kind kind_ = Kind::kNothing;
    std::int32_t object_number_ = 0;
    std::uint16_t index_id_ = 0;
};

// The pages of a whole table: those of any of its allocation units. An empty owner owns nothing.
class TablePages {
public:
    TablePages() = default;
    explicit TablePages(std::vector<UnitPages> units) : units_(std::move(units)) {}

    void add(const UnitPages& unit) { units_.push_back(unit); }
    const std::vector<UnitPages>& units() const { return units_; }

    bool owns(std::int32_t header_object_id, std::uint16_t header_index_id) const;
    bool owns(const CPage_Header& header) const;

private:
    std::vector<UnitPages> units_;
};

}  // namespace quenlow
