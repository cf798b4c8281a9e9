#pragma once
// The engine's parts of a scan and of a display, bound into the main frame's seams: the catalog build,
// the schema assembly, the definition pass, and the table display with its page decoder and the display
// of definitions and key statements. Front ends take their seams from here.

#include "app/definition_display.h"
#include "app/main_frame.h"
#include "app/record_batches.h"
#include "app/table_display.h"
#include "engine/values/value_format.h"

namespace quenlow {

MainFrameSeams engine_seams();

// Save: exports the checked items of the tree (everything when nothing is checked) into the chosen
// target, with the recovery report beside it, and ends with a summary box. A worker body.
void save_checked_items(MainFrame& frame, const SaveChoice& choice);

// The table display as engine_seams() binds it: the page decoder below and the definition display.
TableDisplaySettings table_display_settings();

// Decodes the data pages of the table being shown into rows, with display texts (the record list) or
// export texts (full-fidelity values, NULL as an empty text with value_null set, values stored
// elsewhere always read).
PageRowDecoderFactory table_page_decoder(ValueStyle style = ValueStyle::kDisplay);

// Decodes the pages of the definition table; values stored on other pages are read by the same reader
// the table decoder uses.
DefinitionPageDecoderFactory definition_page_decoder();

}  // namespace quenlow
