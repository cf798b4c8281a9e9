#pragma once
// The common part of every system table reader.
//
// A system base table is found only through the page-to-object map: its pages are the system page map's
// list for the table's fixed object id, in the order the mapping pass met them. Each page is read and
// parsed into its record list; the records are visited in slot order, at most as many as the page
// header's slot count says. Record type 4 (large-value fragments) never holds a catalog row; readers of
// column tables and of the old index table also pass over type 3. A record whose parse failed (invalid
// flag) is passed over as well, and so are ghosts and records no slot names, in every deleted-record
// setting: the catalog is read as it stands.
//
// Rows are cut from a record's fixed-length data (the bytes between the 4-byte record header and the
// column count) field by field; a field that does not lie wholly inside the fixed data keeps its
// default. Names come from the first variable-length column as null-terminated UTF-16.
//
// The stop flag is tested before every page and every record; a stopped reader returns what it has.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/pages/byte_reader.h"
#include "engine/pages/page_address.h"
#include "engine/pages/record.h"

namespace quenlow {

class OpenedDatabase;
class CDataPage;

// The fixed-length data of one record, read field by field.
class FixedData {
  public:
    explicit FixedData(ByteSpan bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    bool present() const { return !bytes_.empty(); }
    bool holds(std::size_t offset, std::size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    // Sets field from the value at offset when it lies wholly inside; otherwise leaves it alone.
    template <typename T>
    void read(std::size_t offset, T& field) const {
        if (holds(offset, sizeof(T))) field = load_le<T>(bytes_, offset);
    }
    // A page pointer as stored: page id (4 bytes) then file id (2 bytes).
    void read(std::size_t offset, PageAddress& field) const;
    // The bytes [offset, offset + length), or nothing when they do not lie wholly inside.
    std::optional<ByteSpan> slice(std::size_t offset, std::size_t length) const;

  private:
    ByteSpan bytes_;
};


// The first variable-length column of a record read as a name; nothing when the record has no
// variable-length column or that column's data is missing. An empty name on disk gives "".
std::optional<std::string> record_name(const CRecord& record);

// Which pages of a table's list are read.
enum class PageSelection {
    kAll,
    kDataPagesOnly,  // entries whose page type is 1
};

// Which record types a table reader passes over besides the unusable ones.
enum class RecordSelection {
    kSkipFragments,             // type 4
    kSkipFragmentsAndIndexRows  // types 3 and 4
};

inline constexpr const char* kRepairObjectName = "Repairname";
inline constexpr const char* kRepairColumnName = "RepairColumn";

class CatalogReader {
  public:
    using PageVisitor = std::function<void(const CDataPage&)>;
    using RecordVisitor = std::function<void(const CPrimaryRecord&)>;

    explicit CatalogReader(OpenedDatabase& database) : database_(&database) {}

    OpenedDatabase& database() const { return *database_; }
    bool stop_requested() const;

    // Made-up names are numbered by one counter, which restarts when the object and the column
    // tables are read.
    void restart_repair_counter() { repair_counter_ = 0; }
    std::uint64_t repair_counter() const { return repair_counter_; }
    // prefix followed by the counter in decimal; the counter then advances.
    std::string make_repair_name(std::string_view prefix);

    // Reads each page of the table of object_id in page-map order and hands it to visit. Pages that
    // cannot be read are passed over.
    void for_each_page(std::int32_t object_id, PageSelection pages, const PageVisitor& visit) const;
    // Hands the usable records of a page to visit in slot order. Returns false when the stop flag
    // ended the walk.
    bool for_each_record(const CDataPage& page, RecordSelection records, const RecordVisitor& visit) const;
    // Both walks together.
    void for_each_record(std::int32_t object_id, PageSelection pages, RecordSelection records,
                         const RecordVisitor& visit) const;

  private:
    OpenedDatabase* database_;
    std::uint64_t repair_counter_ = 0;
};

}  // namespace quenlow
