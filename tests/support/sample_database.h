#pragma once
// The bundled sample database: a small order-entry schema (customers, products, orders, order lines)
// with a view, a procedure, a function, a trigger, a default, primary and foreign keys, and rows made
// by a fixed pseudo-random sequence, so every build gives the same file.

#include "tests/support/database_recipe.h"

namespace quenlow::testing {

inline constexpr int kSampleCustomers = 91;
inline constexpr int kSampleProducts = 77;
inline constexpr int kSampleOrders = 830;
inline constexpr int kSampleOrderLines = 2155;

DatabaseSpec sample_database_spec(Layout layout = Layout::k2005);

}  // namespace quenlow::testing
