#include "app/open_choices.h"

#include <gtest/gtest.h>

#include "tests/app/test_files.h"

namespace quenlow {
namespace {

TEST(OpenChoices, DialogRulesRefuseInTheirOrder) {
    test::TempFolder folder;
    for (const char* name : {"shop.mdf", "SHOP.MDF", "data.mdf.bak", "notes.txt"})
        std::ofstream(folder.file(name)) << "x";
    struct Case {
        std::string mdf;
        std::optional<std::string> log;
        std::optional<std::string> refusal;
    };
    const std::string sql = kInvalidSqlPath, log = kInvalidLogPath;
    const Case cases[] = {
        {folder.file("shop.mdf"), folder.path(), std::nullopt},
        {folder.file("SHOP.MDF"), folder.path() + "/", std::nullopt},
        {folder.file("data.mdf.bak"), folder.path(), std::nullopt},  // ".MDF" anywhere passes
        {folder.file("shop.mdf"), std::nullopt, std::nullopt},       // no log file wanted
        {folder.file("notes.txt"), folder.path(), sql},
        {folder.file("gone.mdf"), folder.path(), sql},
        {"", folder.path(), sql},
        {folder.file("gone.mdf"), folder.file("nowhere"), sql},  // the data file is checked first
        {folder.file("shop.mdf"), folder.file("nowhere"), log},
        {folder.file("shop.mdf"), folder.file("notes.txt"), log},
        {folder.file("shop.mdf"), std::string(), log},
    };
    for (const auto& c : cases) {
        OpenChoices choices;
        choices.mdf_path = c.mdf;
        choices.log_folder = c.log;
        EXPECT_EQ(open_choices_refusal(choices), c.refusal) << c.mdf << " / " << c.log.value_or("(none)");
    }
}

// The application state takes what the application shows; the read options take how the database is read.
TEST(OpenChoices, ApplyWritesTheShownChoicesAndEndsTheFolderWithOneSlash) {
    ApplicationState app;
    OpenChoices choices;
    choices.mdf_path = "/data/shop.mdf";
    choices.recovery_mode = RecoveryMode::kAdvanced;
    choices.is_sql2000 = true;
    choices.show_deleted = true;
    choices.show_advanced_deleted = true;
    choices.automatic_collation = false;
    choices.manual_collation_id = 872468488;
    choices.log_folder = "/var/log";
    apply_open_choices(choices, app);
    EXPECT_EQ(app.mdf_path, "/data/shop.mdf");
    EXPECT_EQ(app.log_folder, "/var/log/");
    EXPECT_EQ(app.recovery_mode, RecoveryMode::kAdvanced);
    EXPECT_TRUE(app.engine.sql2000_layout.load());
    EXPECT_EQ(read_options_of(choices, 936), (ReadOptions{.advanced = true,
                                                          .show_deleted = true,
                                                          .show_advanced_deleted = true,
                                                          .automatic_collation = false,
                                                          .manual_collation_id = 872468488,
                                                          .ansi_code_page = 936}));
    choices.recovery_mode = RecoveryMode::kStandard;
    EXPECT_FALSE(read_options_of(choices, 1252).advanced);
    EXPECT_TRUE(read_options_of(OpenChoices{}, 1252) == ReadOptions{});

    choices.log_folder = "/var/log/";
    apply_open_choices(choices, app);
    EXPECT_EQ(app.log_folder, "/var/log/");
    choices.log_folder.reset();
    apply_open_choices(choices, app);
    EXPECT_EQ(app.log_folder, "");
}

}  // namespace
}  // namespace quenlow
