#pragma once
// The engine's parts of a scan and of a display, bound into the main frame's seams: the catalog build,
// the schema assembly and the table display with its page decoder. Front ends take their seams from here.

#include "app/main_frame.h"
#include "app/record_batches.h"

namespace quenlow {

MainFrameSeams engine_seams();

// Decodes the data pages of the table being shown into rows.
PageRowDecoderFactory table_page_decoder();

}  // namespace quenlow
