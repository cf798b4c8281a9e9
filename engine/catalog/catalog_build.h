#pragma once
// Building the system catalog of an opened database from its system base tables.
//
// The build runs once, right after the database was opened and its pages were mapped, in this order:
//
//    1. an empty catalog and a reader whose repair counter is 0
//    2. the boot page: database name, version and collation
//    3. the file list (object id 8), unless stopped
//    4. the secondary files: those listed, or those found beside the primary file
//    5. the objects (object id 34); none read means the SQL Server 2000 layout, whose objects are read
//       from object id 1 instead. The layout flag of the engine state is set or cleared here.
//    6. the allocation units (object id 7; 99 in the 2000 layout), unless stopped
//    7. the rowsets (object id 5)
//    8. 2000 layout: the clustered index map (2), the key tables and the columns (3);
//       otherwise the columns (41)
//    9. no objects at all: one table per object id met in the columns
//   10. the types (object id 50)
//   11. later layout only: physical rowset columns (3), object references (74), indexes (54), index
//       columns (55), older-layout physical columns (13, unless stopped) and their links (4); then the
//       foreign keys are assembled from the references
//
// Damaged tables give fewer rows, never an error. When the stop flag is set every reader returns at
// once and the build ends with what it has.

#include <functional>
#include <memory>

#include "engine/catalog/system_catalog.h"
#include "engine/pages/boot_page.h"
#include "engine/pages/opened_database.h"

namespace quenlow {

struct CatalogBuildOptions {
    // Reads the boot page of the database: sets its name and writes version and collation into the
    // engine state. Tests may replace it; nothing is read when it is empty.
    std::function<void(OpenedDatabase&)> read_boot_page = [](OpenedDatabase& db) { quenlow::read_boot_page(db); };
};

std::unique_ptr<SystemCatalog> build_catalog(OpenedDatabase& database, const CatalogBuildOptions& options);

// The builder OpenedDatabase::open calls once the database is mapped.
CatalogBuilder catalog_builder(CatalogBuildOptions options = {});

}  // namespace quenlow
