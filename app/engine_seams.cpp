#include "app/engine_seams.h"

#include "engine/catalog/catalog_build.h"

namespace quenlow {

MainFrameSeams engine_seams() {
    MainFrameSeams seams;
    seams.assemble = [](SystemCatalog& catalog, const std::string& name, const std::string& type,
                        const std::vector<DefinitionFragment>& definitions) {
        return assemble_object(catalog, name, type, definitions);
    };
    seams.build_catalog = catalog_builder();
    return seams;
}

}  // namespace quenlow
