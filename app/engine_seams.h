#pragma once
// The engine's parts of a scan, bound into the main frame's seams: the catalog build and the schema
// assembly. Front ends take their seams from here.

#include "app/main_frame.h"

namespace quenlow {

MainFrameSeams engine_seams();

}  // namespace quenlow
