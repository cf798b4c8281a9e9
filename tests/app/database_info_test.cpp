#include "app/database_info.h"

#include <gtest/gtest.h>

#include "tests/support/boot_page_builder.h"

namespace quenlow {
namespace {

using testing::boot::BootRecord;
using testing::boot::build_boot_page;
using testing::boot::ImageBuilder;

TEST(DatabaseInfo, CarriesTheBootPageIdentification) {
    struct Case {
        const char* what;
        bool table_has_collation;
        bool collation_found;
        std::string collation_name;
        std::int32_t code_page;
    };
    const Case cases[] = {
        {"collation listed", true, true, "Latin1_General_CI_AS", 1252},
        {"collation not listed", false, false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageBuilder image(16);
        image.put_page(9, build_boot_page({.version = 782, .create_version = 655, .name = u"Sales Archive"}));
        MemoryFileSystem files;
        files.add_file("/db/sales.mdf", image.take());
        ApplicationState app;
        if (c.table_has_collation) app.engine.collations[0xD008] = {"Latin1_General_CI_AS", 1252};
        NullEngineEvents events;
        DatabaseInfo info = collect_database_info("/db/sales.mdf", app, events, files);
        ASSERT_TRUE(info.opened);
        EXPECT_TRUE(info.boot.found);
        EXPECT_EQ(info.boot.version, 782);
        EXPECT_EQ(info.boot.version_text, " SQL Server 2014");
        EXPECT_EQ(info.boot.create_version, 655);
        EXPECT_EQ(info.boot.database_name, "Sales");
        EXPECT_EQ(info.boot.full_database_name, "Sales Archive");
        EXPECT_EQ(info.boot.collation_id, 0xD008);
        EXPECT_EQ(info.boot.collation_found, c.collation_found);
        EXPECT_EQ(info.collation_name, c.collation_name);
        EXPECT_EQ(info.code_page, c.code_page);
    }
}

}  // namespace
}  // namespace quenlow
