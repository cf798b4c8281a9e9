#include "engine/catalog/system_catalog.h"

namespace quenlow {

void SystemCatalog::clear() {
    SystemCatalog empty(*database_);
    *this = std::move(empty);
}

const CatalogIndex& SystemCatalog::index() const {
    index_.refresh(*this);
    return index_;
}

}  // namespace quenlow
