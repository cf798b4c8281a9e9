#include "app/definition_display.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace quenlow {

namespace {

constexpr const char* kPrimaryKeyGroup = "PrimaryKey";
constexpr const char* kUniqueGroup = "Unique";
constexpr const char* kConstraintGroup = "Constraint";

struct KeyText {
    std::string table;
    std::string columns = " ";
};

// The table of the key tables whose object id is item_data, and the names of its columns that take part:
// " a , b , " with trailing blanks removed and the last comma dropped.
template <typename Takes>
KeyText key_text(const SystemCatalog& catalog, std::uint32_t item_data, Takes takes) {
    KeyText out;
    for (const LegacyTableColumns& t : catalog.legacy_key_tables) {
        if (t.object_id != static_cast<std::int32_t>(item_data)) continue;
        out.table = t.table_name;
        for (const LegacyColumnLink& link : t.columns)
            if (takes(link.type_status)) out.columns += link.column_name + " , ";
        while (!out.columns.empty() &&
               std::string_view(" \t\r\n").find(out.columns.back()) != std::string_view::npos)
            out.columns.pop_back();
        if (!out.columns.empty()) out.columns.pop_back();
    }
    return out;
}

void show_text(MainFrame& frame, const std::string& text) {
    frame.front().records_show_table(false);
    frame.front().records_set_text(text);
}

// Retrieves the display list the first time a definition is shown after a scan.
void ensure_display_list(MainFrame& frame, SystemCatalog& catalog,
                         const DefinitionPageDecoderFactory& factory) {
    DefinitionLists& lists = frame.definitions();
    if (lists.retrieved) return;
    lists.retrieved = true;
    const DefinitionPageDecoder decode = factory ? factory(catalog.database()) : DefinitionPageDecoder{};
    const std::size_t former =
        retrieve_definition_fragments(catalog, frame.engine_events(), decode, lists.display);
    frame.display().list_columns = std::max(frame.display().list_columns, static_cast<int>(former));
    if (lists.display.empty()) lists.retrieved = false;
}

void show_definition(MainFrame& frame, SystemCatalog& catalog, const ShownItem& shown,
                     const DefinitionPageDecoderFactory& factory) {
    std::string object_id;
    if (frame.app().engine.sql2000_layout.load()) {
        legacy_definition_columns(catalog);
        std::int32_t id = -1;
        if (const TreeObject* object = frame.tree().item_object(shown.item)) {
            id = object->object_id;
        } else {
            for (const SchemaObjectRow& o : catalog.objects) {
                if (o.name == shown.text) {
                    id = o.object_id;
                    break;
                }
            }
        }
        object_id = fmt::format("{}", id);
        if (!catalog.column_descriptors.empty()) catalog.column_descriptors.front().value_text = object_id;
    } else {
        object_id = catalog.column_descriptors.front().value_text;
    }
    ensure_display_list(frame, catalog, factory);
    const std::string text = definition_text(frame.definitions().display, object_id);
    show_text(frame, text);
    if (shown.parent_text == kConstraintGroup) {
        const ObjectTree& tree = frame.tree();
        const TreeItemId table = tree.item_parent(shown.parent);
        const TreeObject* object = tree.item_object(table);
        show_text(frame, check_statement(object ? object->name : tree.item_text(table), shown.text, text));
    }
}

}  // namespace

bool shows_definition(const std::string& type) {
    static constexpr std::array<std::string_view, 12> kTypes = {"F ", "P ", "D ", "C ", "PK", "FN",
                                                                "TR", "IF", "V ", "UQ", "TT", "TF"};
    return std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end();
}

std::string primary_key_statement(const SystemCatalog& catalog, std::uint32_t item_data) {
    const KeyText key = key_text(catalog, item_data, [](std::uint8_t status) { return (status & 1) != 0; });
    return fmt::format("ALTER TABLE {} ADD PRIMARY KEY ({})", key.table, key.columns);
}

std::string unique_statement(const SystemCatalog& catalog, std::uint32_t item_data, const std::string& name) {
    const KeyText key =
        key_text(catalog, item_data, [](std::uint8_t status) { return status == 0 || (status & 1) != 0; });
    return fmt::format(
        "ALTER TABLE[dbo].[{}] WITH NOCHECK ADD CONSTRAINT[{}] UNIQUE CLUSTERED \r\n(\r\n[{}] DSC\r\n)",
        key.table, name, key.columns);
}

std::string check_statement(const std::string& table, const std::string& name,
                            const std::string& definition) {
    return fmt::format("ALTER TABLE  [dbo].[{}] WITH NOCHECK ADD CONSTRAINT[{}] CHECK {}", table, name,
                       definition);
}

std::function<void(MainFrame&)> definition_pass(DefinitionPageDecoderFactory decoder) {
    return [decoder = std::move(decoder)](MainFrame& frame) {
        SystemCatalog* catalog = frame.catalog();
        if (catalog == nullptr) return;
        // The rows of syscomments are decoded with its own columns, whatever table was assembled last.
        if (frame.app().engine.sql2000_layout.load()) legacy_definition_columns(*catalog);
        const DefinitionPageDecoder decode = decoder ? decoder(catalog->database()) : DefinitionPageDecoder{};
        const std::size_t former =
            retrieve_definition_fragments(*catalog, frame.engine_events(), decode, frame.definitions().scan);
        frame.display().list_columns = std::max(frame.display().list_columns, static_cast<int>(former));
    };
}

std::function<void(MainFrame&, const ShownItem&)> definition_display(DefinitionPageDecoderFactory decoder) {
    return [decoder = std::move(decoder)](MainFrame& frame, const ShownItem& shown) {
        SystemCatalog* catalog = frame.catalog();
        if (catalog == nullptr) return;
        if (shown.parent_text == kPrimaryKeyGroup) {
            show_text(frame, primary_key_statement(*catalog, frame.tree().item_data(shown.item)));
            return;
        }
        if (shown.parent_text == kUniqueGroup) {
            show_text(frame, unique_statement(*catalog, frame.tree().item_data(shown.item), shown.text));
            return;
        }
        const std::vector<ColumnDescriptor>& list = catalog->column_descriptors;
        if (list.size() < 2 || !shows_definition(list[1].value_text)) return;
        show_definition(frame, *catalog, shown, decoder);
    };
}

}  // namespace quenlow
