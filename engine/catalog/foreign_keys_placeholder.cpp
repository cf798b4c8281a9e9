#include "engine/catalog/system_catalog.h"

namespace quenlow {

// Stands in for the foreign key assembly until it joins this tree.
void assemble_foreign_keys(SystemCatalog&) {}

}  // namespace quenlow
