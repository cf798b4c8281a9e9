#include "app/engine_seams.h"

namespace quenlow {

MainFrameSeams engine_seams() {
    MainFrameSeams seams;
    // The catalog readers (build_catalog) and the schema assembly (assemble_object) of the catalog library
    // are bound here when the library provides them; until then a scan opens and maps the file and finds
    // no catalog.
    return seams;
}

}  // namespace quenlow
