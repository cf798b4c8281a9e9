#include "engine/catalog/object_definitions.h"

#include <vector>

#include "engine/catalog/definition_bytes.h"
#include "engine/catalog/type_codes.h"
#include "engine/pages/page_header.h"
#include "engine/pages/page_owner.h"

namespace quenlow {

std::vector<ColumnDescriptor> object_value_descriptors() {
    struct Column {
        const char* name;
        const char* type_text;
        std::int32_t type_code;
    };
    static constexpr Column kColumns[] = {
        {"valclass", "tinyint(1)", 14},     {"objid", "int(4)", 9},
        {"subobjid", "int(4)", 9},          {"valnum", "int(4)", 9},
        {"value", "sql_variant(8016)", 20}, {"imageval", "varbinary(-1)", 16},
    };
    std::vector<ColumnDescriptor> out;
    for (const Column& c : kColumns) out.push_back(make_column_descriptor(c.name, c.type_text, c.type_code));
    return out;
}

std::vector<ColumnDescriptor> legacy_definition_columns(SystemCatalog& catalog) {
    std::vector<ColumnDescriptor> columns = assemble_object(catalog, kLegacyCommentsTable, "S ", {});
    // An object of that name that is not a table gives three id/type/name entries, which are no columns.
    if (!catalog.current_object_is_table) columns.clear();
    catalog.column_descriptors = columns;
    return columns;
}

bool make_definition_fragment(const std::vector<ColumnDescriptor>& row, bool sql2000,
                              DefinitionFragment& out) {
    if (row.empty()) return false;
    auto text_at = [&](std::size_t i) { return i < row.size() ? row[i].value_text : std::string(); };
    out = DefinitionFragment{};
    if (sql2000) {
        out.object_id_text = text_at(0);
        out.sub_id_text = text_at(1);
        if (row.size() > 4) out.value_text = row[4].value_text;
    } else {
        out.object_id_text = text_at(1);
        out.sub_id_text = text_at(2);
        out.value_text = row.back().value_text;
    }
    return true;
}

std::size_t retrieve_definition_fragments(SystemCatalog& catalog, EngineEvents& events,
                                          const DefinitionPageDecoder& decode,
                                          std::vector<DefinitionFragment>& out) {
    OpenedDatabase& database = catalog.database();
    const EngineState& state = database.state();
    const bool sql2000 = state.sql2000_layout.load();
    events.log_line(kRetrievingDefinitions);

    const std::size_t former =
        sql2000 ? catalog.current_legacy_columns.size() : catalog.current_columns.size();
    catalog.current_columns.clear();
    catalog.current_legacy_columns.clear();
    if (!sql2000) catalog.column_descriptors = object_value_descriptors();
    const bool layout_form = !sql2000 && !catalog.current_rowset_columns.empty();

    // A copy: nothing may change the map while its list is walked, but the list is not ours to keep.
    const auto listed =
        database.system_pages().lookup(sql2000 ? kLegacyCommentsObjectId : kObjectValuesObjectId);
    const std::vector<PageMapEntry> entries(listed.begin(), listed.end());
    events.progress_range(0, static_cast<std::int64_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size() && !state.stop_requested(); ++i) {
        // Definition rows live on data pages only. The index pages of the table's clustered index and the
        // pages of its values stored elsewhere are mapped under the same object id; read as rows, their
        // records would give fragments made of key values and text fragments. So would the pages of a
        // table's unit whose object number happens to be this id.
        if (entries[i].page_type != kPageTypeData || names_new_unit(entries[i].index_id)) continue;
        const std::unique_ptr<CDataPage> page = read_data_page(database, entries[i].address());
        if (!page) continue;
        if (decode) {
            for (const auto& row : decode(*page, catalog.column_descriptors, layout_form)) {
                DefinitionFragment fragment;
                if (make_definition_fragment(row, sql2000, fragment)) out.push_back(std::move(fragment));
            }
        }
        events.progress_position(static_cast<std::int64_t>(i));
    }
    events.progress_position(static_cast<std::int64_t>(entries.size()));
    events.log_line(kDefinitionsRetrieved);
    return former;
}

std::string fragment_text(std::string_view value_text) {
    return hex_bytes_text(definition_value_bytes(value_text));
}

std::string definition_text(const std::vector<DefinitionFragment>& fragments,
                            std::string_view object_id_text) {
    std::string text;
    for (const DefinitionFragment& f : fragments) {
        if (f.object_id_text != object_id_text) continue;
        const HexBytes bytes = definition_value_bytes(f.value_text);
        std::string piece = hex_bytes_text(bytes);
        if (bytes.wide || piece != text) text += piece;
    }
    return text;
}

}  // namespace quenlow
