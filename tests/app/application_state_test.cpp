#include "app/application_state.h"

#include <gtest/gtest.h>

#include "engine/pages/read_options.h"

namespace quenlow {
namespace {

TEST(ApplicationState, StartValues) {
    const ApplicationState app;
    EXPECT_EQ(app.visual_look_id, 215);
    EXPECT_EQ(app.running.load(), 0);
    EXPECT_EQ(app.log_line_counter, 0);
    EXPECT_FALSE(app.log_file.is_open());
    EXPECT_TRUE(app.log_file_path.empty());
    EXPECT_TRUE(app.log_folder.empty());
    EXPECT_TRUE(app.mdf_path.empty());
    EXPECT_EQ(app.recovery_mode, RecoveryMode::kUnset);
    EXPECT_EQ(app.ansi_code_page, 1252);
    EXPECT_EQ(static_cast<int>(RecoveryMode::kStandard), 1);
    EXPECT_EQ(static_cast<int>(RecoveryMode::kAdvanced), 2);

    const EngineState& e = app.engine;
    EXPECT_FALSE(e.stop.load());
    EXPECT_FALSE(e.stop_requested());
    EXPECT_FALSE(e.sql2000_layout.load());
    EXPECT_TRUE(e.version_text.empty());
    EXPECT_TRUE(e.collation_name.empty());
    EXPECT_TRUE(e.collations.empty());
    EXPECT_FALSE(e.collation_found);
    EXPECT_EQ(e.detected_collation_id, -1);
    EXPECT_EQ(e.code_page, 1252);

    // How a database is read starts as: standard mode, no deleted records, the boot page's collation.
    const ReadOptions options;
    EXPECT_FALSE(options.advanced);
    EXPECT_FALSE(options.show_deleted);
    EXPECT_FALSE(options.show_advanced_deleted);
    EXPECT_TRUE(options.automatic_collation);
    EXPECT_EQ(options.manual_collation_id, 0);
    EXPECT_EQ(options.ansi_code_page, 1252);
}

TEST(ApplicationState, TwoStatesAreIndependent) {
    ApplicationState a, b;
    a.running = 1;
    a.engine.stop = true;
    a.engine.code_page = 932;
    a.engine.detected_collation_id = 53264;
    a.engine.collations[53264] = {"Japanese_CI_AS", 932};
    a.mdf_path = "/data/a.mdf";

    EXPECT_EQ(b.running.load(), 0);
    EXPECT_FALSE(b.engine.stop_requested());
    EXPECT_EQ(b.engine.code_page, 1252);
    EXPECT_EQ(b.engine.detected_collation_id, -1);
    EXPECT_TRUE(b.engine.collations.empty());
    EXPECT_TRUE(b.mdf_path.empty());
}

}  // namespace
}  // namespace quenlow
