#include "app/engine_seams.h"

#include "app/table_display.h"
#include "engine/catalog/catalog_build.h"
#include "engine/values/row_decoder.h"

#include <memory>
#include <optional>

namespace quenlow {

MainFrameSeams engine_seams() {
    MainFrameSeams seams;
    seams.assemble = [](SystemCatalog& catalog, const std::string& name, const std::string& type,
                        const std::vector<DefinitionFragment>& definitions) {
        return assemble_object(catalog, name, type, definitions);
    };
    seams.build_catalog = catalog_builder();
    TableDisplaySettings display;
    display.decoder = table_page_decoder();
    bind_table_display(seams, std::move(display));
    return seams;
}

PageRowDecoderFactory table_page_decoder() {
    return [](OpenedDatabase& database, SystemCatalog& catalog) -> PageRowDecoder {
        // One decoding state per load: the converters of the formatters are opened once, not per page.
        // Values stored on other pages are not read yet: the readers give empty texts.
        struct Decoding {
            EmptyLargeValueReader large_values;
            EmptyXmlConverter xml;
            std::optional<DecodeContext> context;
        };
        auto decoding = std::make_shared<Decoding>();
        decoding->context.emplace(make_decode_context(database.state(), decoding->large_values, decoding->xml));
        auto decode = [decoding](const PrimaryRecordPage& page, std::vector<ColumnDescriptor>& descriptors,
                                 bool layout_form, const PageRowVisitor& visit) {
            DecodeContext& context = *decoding->context;
            if (const OpenedDatabase* db = page.database()) context.rows_loading = db->state().rows_loading;
            if (layout_form)
                decode_table_page_layout(page, descriptors, context, visit);
            else
                decode_table_page_offsets(page, descriptors, context, visit);
        };
        return data_page_stream_decoder(std::move(decode))(database, catalog);
    };
}

}  // namespace quenlow
