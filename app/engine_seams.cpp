#include "app/engine_seams.h"

namespace quenlow {

MainFrameSeams engine_seams() {
    MainFrameSeams seams;
    seams.assemble = [](SystemCatalog& catalog, const std::string& name, const std::string& type,
                        const std::vector<DefinitionFragment>& definitions) {
        return assemble_object(catalog, name, type, definitions);
    };
    // The catalog readers (build_catalog) are bound here as well once the catalog library provides
    // them; until then a scan opens and maps the file and finds no catalog.
    return seams;
}

}  // namespace quenlow
