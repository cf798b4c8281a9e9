#pragma once
// A hand-filled system catalog over a small in-memory database image, for catalog tests and
// benchmarks. The image is made of blank pages, except for the data pages asked for, which carry page
// type, object id, page id and file id 1 in their headers so that the mapping pass files them in the
// data page map.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/catalog/system_catalog.h"
#include "engine/pages/engine_events.h"
#include "engine/pages/engine_state.h"
#include "engine/pages/file_reader.h"
#include "engine/pages/opened_database.h"

namespace quenlow::test {

struct ImagePage {
    std::uint32_t page_index = 0;
    std::int32_t object_id = 0;
    std::uint8_t page_type = 1;
};

class CatalogFixture {
  public:
    // An image of page_count pages (at least 16); pages beyond the count are ignored.
    explicit CatalogFixture(std::vector<ImagePage> pages = {}, std::uint32_t page_count = 16);

    SystemCatalog& catalog() { return *catalog_; }
    EngineState& state() { return state_; }
    OpenedDatabase& database() { return *database_; }

  private:
    EngineState state_;
    NullEngineEvents events_;
    MemoryFileSystem files_;
    std::unique_ptr<OpenedDatabase> database_;
    std::unique_ptr<SystemCatalog> catalog_;
};

// Row makers with the fields the assembly joins on; everything else keeps its default.
SchemaObjectRow object_row(std::int32_t id, std::string name, std::string type, std::int32_t parent = 0);
ColumnParamRow column_row(std::int32_t object_id, std::int32_t column_id, std::string name,
                          std::uint8_t system_type_id, std::int16_t length, std::int32_t status = 0);
RowsetRow rowset_row(std::int64_t rowset_id, std::int32_t object_id, std::int32_t index_id,
                     std::int32_t partition = 1);
// An allocation unit whose object number (bits 16..47 of its id) is object_number.
AllocationUnitRow allocation_unit_row(std::int32_t object_number, std::int64_t owner_id,
                                      std::uint8_t type = 1, PageAddress first_page = {1, 1});
RowsetColumnRow rowset_column_row(std::int64_t rowset_id, std::int32_t rowset_column_id,
                                  std::int32_t physical_column_id, std::int32_t leaf_offset,
                                  std::int32_t null_bit);

// The built-in type rows of a later-version database: type id = system type id, schema id 4.
void add_builtin_types(SystemCatalog& catalog);

// A user table of `columns` int columns named c1.., with a heap rowset (id = object id * 1000), an
// in-row allocation unit (object number = object id) and one rowset column row per column.
void add_int_table(SystemCatalog& catalog, std::int32_t object_id, const std::string& name, int columns);

}  // namespace quenlow::test
