#pragma once
// Object definitions: the source text of views, procedures, functions, triggers, defaults and check
// constraints, and the expressions of computed columns, as rows of a system table.
//
//   layout          table          object id   columns the fragment takes
//   ----------------+--------------+-----------+---------------------------------------------------------
//   2005 and later  sysobjvalues   60          objid (2nd), subobjid (3rd), imageval (last)
//   SQL Server 2000 syscomments    6           id (1st), number (2nd), ctext (5th, when the row has more
//                                              than four columns)
//
// The rows are decoded with the ordinary row decoder into text: numbers in decimal, the definition bytes
// as "0x" and upper-case hex. sysobjvalues rows are decoded with six fixed column descriptors; syscomments
// rows with the catalog's current column descriptors, which the caller makes those of the system table
// "syscomments" by assembling it first (legacy_definition_columns). One DefinitionFragment is kept per
// row, in page-map order, then slot order.
//
// The definition text of an object joins the value texts of its fragments: UTF-16 texts are always
// appended; an 8-bit text only when it differs from the whole text gathered so far, so a definition
// stored twice reads once.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog/system_catalog.h"
#include "engine/pages/engine_events.h"
#include "engine/pages/record_page.h"

namespace quenlow {

inline constexpr std::int32_t kObjectValuesObjectId = 60;   // sysobjvalues
inline constexpr std::int32_t kLegacyCommentsObjectId = 6;  // syscomments, SQL Server 2000 layout
inline constexpr const char* kLegacyCommentsTable = "syscomments";

inline constexpr const char* kRetrievingDefinitions =
    "Retrieving Objects of Sysobjvalues System Tables...........";
inline constexpr const char* kDefinitionsRetrieved =
    "Retrieving  Objects of Sysobjvalues System Tables has been done...........";

// Decodes the records of one definition page into rows (copies of the descriptor list with their value
// texts). layout_form: places values by the descriptors' physical positions, else one after another.
using DefinitionPageDecoder = std::function<std::vector<std::vector<ColumnDescriptor>>(
    const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors, bool layout_form)>;

// The columns of sysobjvalues: valclass tinyint, objid int, subobjid int, valnum int, value
// sql_variant(8016), imageval varbinary(max).
std::vector<ColumnDescriptor> object_value_descriptors();

// SQL Server 2000 layout: assembles the system table "syscomments" (type "S "), whose columns become the
// catalog's column descriptors; returns them (empty when the catalog has no such table).
std::vector<ColumnDescriptor> legacy_definition_columns(SystemCatalog& catalog);

// The fragment of one decoded row of the layout's definition table. A row without columns gives
// nothing (false).
bool make_definition_fragment(const std::vector<ColumnDescriptor>& row, bool sql2000,
                              DefinitionFragment& out);

// Reads every definition row of the database and appends one fragment per decoded row to out.
//
// Logs kRetrievingDefinitions, sets the progress range to the number of page-map entries of the layout's
// table, and decodes each data page (type 1) of them in order while the stop flag is clear; pages that cannot
// be read are skipped without a word. The progress position follows the entry index; at the end it is the
// entry count and kDefinitionsRetrieved is logged, also after a stop.
//
// The catalog's working column lists are emptied first; the return value is the length the one of the
// layout had, which a caller that shows those columns keeps for clearing its list later. 2005 and later:
// the six sysobjvalues descriptors become the catalog's column descriptors. SQL Server 2000: the catalog's
// column descriptors are used as they are (see legacy_definition_columns). The layout form of the decoder
// is taken in the later layouts when the catalog's current rowset columns are not empty.
std::size_t retrieve_definition_fragments(SystemCatalog& catalog, EngineEvents& events,
                                          const DefinitionPageDecoder& decode,
                                          std::vector<DefinitionFragment>& out);

// The text of one fragment's value text: hex text to bytes, then UTF-16 when a zero byte follows the
// first byte, otherwise 8-bit text. A text that is not "0x" and pairs of hex digits gives "".
std::string fragment_text(std::string_view value_text);

// The definition text of the object whose id, in decimal, is object_id_text: the fragments whose object
// id text equals it exactly, in list order. UTF-16 texts are appended; 8-bit texts only when they differ
// from the whole text so far. The sub id is not looked at.
std::string definition_text(const std::vector<DefinitionFragment>& fragments,
                            std::string_view object_id_text);

}  // namespace quenlow
