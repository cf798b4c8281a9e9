#include "app/engine_seams.h"

#include "app/export_files.h"
#include "engine/catalog/catalog_build.h"
#include "engine/values/lob_reader.h"
#include "engine/values/row_decoder.h"
#include "engine/values/xml_converter.h"

#include <memory>
#include <optional>

namespace quenlow {

namespace {

// The readers of one load or retrieval: the converters of the formatters are opened once, not per page.
// Values stored on LOB pages are read there; xml values are decoded, and those that cannot be are
// reported to the database's log.
struct ValueReaders {
    explicit ValueReaders(EngineEvents& events) : xml(&events) {}
    LobValueReader large_values;
    BinaryXmlConverter xml;
    std::optional<DecodeContext> context;
};

std::shared_ptr<ValueReaders> make_value_readers(OpenedDatabase& database, bool rows_loading,
                                                 ValueStyle style = ValueStyle::kDisplay) {
    auto readers = std::make_shared<ValueReaders>(database.events());
    readers->context.emplace(
        make_decode_context(database, readers->large_values, readers->xml, rows_loading, style));
    return readers;
}

}  // namespace

MainFrameSeams engine_seams() {
    MainFrameSeams seams;
    seams.assemble = [](SystemCatalog& catalog, const ObjectQuery& object,
                        const std::vector<DefinitionFragment>& definitions) {
        if (object.object_id) {
            const SchemaObjectRow found = find_object_by_id(catalog, *object.object_id);
            if (found.object_id != -1) return assemble_object(catalog, found, definitions);
        }
        return assemble_object(catalog, object.name, object.type, definitions);
    };
    seams.build_catalog = catalog_builder();
    seams.local_time = local_time_now;
    seams.definition_pass = definition_pass(definition_page_decoder());
    bind_table_display(seams, table_display_settings());
    seams.save = save_checked_items;
    return seams;
}

void save_checked_items(MainFrame& frame, const SaveChoice& choice) {
    FrontEnd& front = frame.front();
    auto box = [&front](const std::string& text) {
        front.message_box(BoxIcon::kInformation, kApplicationTitle, text);
    };
    if (const auto refusal = export_output_refusal(choice.kind, choice.path, choice.replace)) {
        frame.app().running.store(0);
        return box(*refusal);
    }
    const std::unique_ptr<ExportTarget> target = make_target(choice.kind, choice.path);
    ExportSettings settings;
    settings.decoder = table_page_decoder(ValueStyle::kExport);
    const ExportReport report = export_selection(frame, selection_from_checks(frame), *target, settings);
    const std::string summary = export_summary(report, report_path(choice.kind, choice.path));
    if (!report.error.empty())
        box("The export failed: " + report.error + "\n\n" + summary);
    else if (report.stopped)
        box("The export was stopped at " + report.stopped_at + ".\n\n" + summary);
    else
        box("The recovered data has been saved.\n\n" + summary);
}

TableDisplaySettings table_display_settings() {
    TableDisplaySettings display;
    display.decoder = table_page_decoder();
    display.show_other_item = definition_display(definition_page_decoder());
    return display;
}

PageRowDecoderFactory table_page_decoder(ValueStyle style) {
    return [style](OpenedDatabase& database, SystemCatalog& catalog, bool rows_loading) -> PageRowDecoder {
        auto readers = make_value_readers(database, rows_loading, style);
        readers->large_values.keep_to(catalog.current_pages);
        readers->xml.set_table(catalog.current_object.name);
        auto decode = [readers](const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors,
                                bool layout_form, const PageRowVisitor& visit) {
            DecodeContext& context = *readers->context;
            if (layout_form)
                decode_table_page_layout(page, descriptors, context, visit);
            else
                decode_table_page_offsets(page, descriptors, context, visit);
        };
        PageRowDecoder decoder = data_page_stream_decoder(std::move(decode))(database, catalog, rows_loading);
        decoder.set_row_facts([readers] { return readers->context->row; });
        return decoder;
    };
}

DefinitionPageDecoderFactory definition_page_decoder() {
    return [](OpenedDatabase& database) -> DefinitionPageDecoder {
        auto readers = make_value_readers(database, false);
        return [readers](const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors,
                         bool layout_form) {
            DecodeContext& context = *readers->context;
            return layout_form ? decode_definition_page_layout(page, descriptors, context)
                               : decode_definition_page_offsets(page, descriptors, context);
        };
    };
}

}  // namespace quenlow
