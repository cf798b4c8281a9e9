#pragma once
// The lookups schema assembly is made of, for callers that need one on its own. find_object,
// assemble_object and assemble_foreign_keys are declared with SystemCatalog.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/catalog/system_catalog.h"

namespace quenlow {

// The type row of a column. Among the rows whose type id equals the system type id, the first one whose
// type id also equals the user type id, whose own system type id equals the column's and whose schema id
// is 1; failing that the first of those rows; failing that a default row (empty name).
ScalarTypeRow find_type(const SystemCatalog& catalog, std::int32_t system_type_id, std::int32_t user_type_id);

// The objects whose parent object id equals the table's object id, in object-list order. The entry id
// is the child's own object id, or in the SQL Server 2000 layout the parent's. The stop flag ends the
// walk early.
std::vector<ConstraintEntry> find_children(const SystemCatalog& catalog, const SchemaObjectRow& table);

// The definition text of a column that is not stored in the record: the value texts of the fragments
// whose object id text is the table id and whose sub id text is the column id (both in decimal), turned
// into text and appended in list order. Nothing when no fragment with a non-empty value text matches.
std::optional<std::string> column_definition_text(const std::vector<DefinitionFragment>& definitions,
                                                  std::int32_t table_id, std::int32_t column_id);

// Sorts descriptors by column id, ascending, as a selection sort does: the first unsorted descriptor is
// swapped with the first of the smallest later ones when that one is smaller. Descriptors of equal ids
// may change their order.
void sort_by_column_id(std::vector<ColumnDescriptor>& list);

}  // namespace quenlow
