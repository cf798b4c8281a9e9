#pragma once
// A main frame opened on one data file of a memory file system, with the engine's seams and the real
// table page decoder, its scan run to the end: the frame the display tests click through.

#include <memory>
#include <string>
#include <utility>

#include "app/engine_seams.h"
#include "app/main_frame.h"
#include "app/open_choices.h"
#include "app/table_display.h"
#include "engine/pages/file_reader.h"
#include "tests/app/fake_front_end.h"

namespace quenlow::test {

inline std::unique_ptr<MainFrame> scan_with_table_display(ApplicationState& app, FakeFrontEnd& front,
                                                          MemoryFileSystem& files, const std::string& path,
                                                          bool placeholders_in_first_batch) {
    OpenChoices choices;
    choices.mdf_path = path;
    front.dialog_result = choices;
    MainFrameSeams seams = engine_seams();
    TableDisplaySettings settings;
    settings.decoder = table_page_decoder();
    settings.placeholders_in_first_batch = placeholders_in_first_batch;
    bind_table_display(seams, std::move(settings));
    auto frame = std::make_unique<MainFrame>(app, front, files, std::move(seams));
    frame->on_open();
    frame->wait_for_worker();
    return frame;
}

}  // namespace quenlow::test
