#pragma once
// What a click shows for tree items that are not tables, and the definition pass at the end of a scan.
//
//   parent of the item   shown in the text box
//   ---------------------+----------------------------------------------------------------------------
//   "PrimaryKey"         ALTER TABLE <table> ADD PRIMARY KEY (<columns>)
//   "Unique"             ALTER TABLE[dbo].[<table>] WITH NOCHECK ADD CONSTRAINT[<name>] UNIQUE CLUSTERED
//                        (CR LF) ( (CR LF) [<columns>] DSC (CR LF) )
//   "Constraint"         ALTER TABLE  [dbo].[<table>] WITH NOCHECK ADD CONSTRAINT[<name>] CHECK <definition>
//                        (the table is the parent's parent)
//   anything else        the object's definition text, when the assembly found an object of one of the
//                        types "F ", "P ", "D ", "C ", "PK", "FN", "TR", "IF", "V ", "UQ", "TT", "TF";
//                        otherwise nothing
//
// Key statements take the table and its columns from the SQL Server 2000 key tables: the item data of a
// key item is its table's object id there (0 in the later layouts, which have no key tables, so their
// statements name no table and hold one blank between the brackets). The column text is a blank, then
// "<column> , " per key column, trailing blanks removed and the last comma dropped: " a , b ".
//
// Definitions are read from the display list of the frame, retrieved the first time a definition is
// shown after a scan (the frame's "definitions retrieved" flag is set when the retrieval starts and
// cleared again when it found nothing). In the SQL Server 2000 layout the system table "syscomments" is
// assembled first, so that its rows are decoded with its own columns, and the object id is that of the
// first object named like the item.

#include <functional>
#include <string>

#include "app/main_frame.h"
#include "app/table_display.h"
#include "engine/catalog/object_definitions.h"

namespace quenlow {

// Makes the definition page decoder of one retrieval, for the database being read.
using DefinitionPageDecoderFactory = std::function<DefinitionPageDecoder(OpenedDatabase& database)>;

// The definition pass of a scan: fills the frame's scan list (SQL Server 2000: after assembling
// "syscomments"). Nothing happens without a catalog.
std::function<void(MainFrame&)> definition_pass(DefinitionPageDecoderFactory decoder);

// The show_other_item seam of the table display: key statements, check statements and definitions.
std::function<void(MainFrame&, const ShownItem&)> definition_display(DefinitionPageDecoderFactory decoder);

// The statements, from the catalog's legacy key tables; item_data chooses the table by object id.
std::string primary_key_statement(const SystemCatalog& catalog, std::uint32_t item_data);
std::string unique_statement(const SystemCatalog& catalog, std::uint32_t item_data, const std::string& name);
std::string check_statement(const std::string& table, const std::string& name, const std::string& definition);

// True for the type codes whose objects are shown by their definition text.
bool shows_definition(const std::string& type);

}  // namespace quenlow
