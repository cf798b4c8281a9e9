#include "app/engine_seams.h"

#include "app/table_display.h"
#include "engine/catalog/catalog_build.h"

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
    // No record decoder is bound yet: every data page reads as holding no rows.
    return data_page_decoder({});
}

}  // namespace quenlow
