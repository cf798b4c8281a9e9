// A scan whose tables are assembled by the engine's schema assembly, as the front ends bind it: the bold
// mark of a table follows from what the assembly finds in the catalog and the page map.

#include <gtest/gtest.h>

#include "app/engine_seams.h"
#include "tests/app/fake_front_end.h"
#include "tests/app/test_files.h"
#include "tests/support/catalog_fixture.h"

namespace quenlow {
namespace {

TEST(ScanWithAssembly, TablesWithColumnsAndDataPagesAreBold) {
    test::TempFolder folder;
    const std::string path = folder.file("shop.mdf");
    // Objects 100 and 300 own data pages; object 200 owns none; object 300 has no columns.
    test::write_data_file(path, 16, {{10, 100}, {11, 100}, {12, 300}});

    ApplicationState app;
    test::FakeFrontEnd front;
    OpenChoices choices;
    choices.mdf_path = path;
    front.dialog_result = choices;
    PosixFileSystem files;
    MainFrameSeams seams = engine_seams();
    seams.build_catalog = [](OpenedDatabase& db) {
        auto catalog = std::make_unique<SystemCatalog>(db);
        test::add_builtin_types(*catalog);
        test::add_int_table(*catalog, 100, "orders", 2);
        test::add_int_table(*catalog, 200, "archive", 3);
        test::add_int_table(*catalog, 300, "no_columns", 0);
        catalog->objects.push_back(test::object_row(400, "recent_orders", "V "));
        return catalog;
    };
    MainFrame frame(app, front, files, seams);
    frame.on_open();
    frame.wait_for_worker();

    EXPECT_EQ(front.log().back(), "Scanning completed for selected mdf file.");
    EXPECT_EQ(format_outline(frame.tree()),
              path +
                  "\n"
                  "  Views\n    recent_orders\n"
                  "  Programmability\n    Triggers\n    Default\n    Store Procedure\n    Function\n"
                  "  Tables\n    System Tables\n    User Tables\n"
                  "      archive\n        Columns\n"
                  "      no_columns\n        Columns\n"
                  "      orders *\n        Columns\n");
    EXPECT_EQ(front.mirrored_outline(), format_outline(frame.tree()));
}

}  // namespace
}  // namespace quenlow
