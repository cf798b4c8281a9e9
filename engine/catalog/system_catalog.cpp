#include "engine/catalog/system_catalog.h"

namespace quenlow {

void SystemCatalog::clear() {
    SystemCatalog empty(*database_);
    *this = std::move(empty);
}

}  // namespace quenlow
