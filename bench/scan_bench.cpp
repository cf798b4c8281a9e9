// The whole scan of a database with many tables: open and mapping pass, catalog build, and the object
// tree with the schema assembly of every table, driven through the main frame exactly as a front end
// drives it (Open, then the scan worker), with a front end that ignores every call.
//
// The data files are builder databases of 1,000 and 10,000 user tables of ten columns each, every table
// with a primary key and two rows, in the 2005 layout and in the SQL Server 2000 layout. They are
// written once into <build>/bench-data/ and reused while they exist (delete the folder after changing
// the builder). bench/run-scan-bench.sh prints the times and the ratio 10,000 / 1,000 tables.

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/engine_seams.h"
#include "app/main_frame.h"
#include "tests/support/database_builder.h"

namespace quenlow {
namespace {

namespace fs = std::filesystem;
using testing::DatabaseSpec;
using testing::Layout;
using testing::SqlType;
using testing::Value;

constexpr int kColumns = 10;
constexpr int kRowsPerTable = 2;

// A front end that answers the open dialog with one file and ignores everything else.
class SilentFrontEnd final : public FrontEnd {
public:
    explicit SilentFrontEnd(std::string path) { choices_.mdf_path = std::move(path); }

    void progress_range(std::int64_t, std::int64_t) override {}
    void progress_position(std::int64_t) override {}
    void status_text(std::string_view) override {}
    void log_line(std::string_view) override {}
    void set_caption(std::string_view) override {}
    void show_progress(bool) override {}
    void message_box(BoxIcon, std::string_view, std::string_view) override {}
    bool ask_yes_no(BoxIcon, std::string_view, std::string_view) override { return true; }
    std::optional<OpenChoices> open_dialog(const OpenDialogRequest&) override { return choices_; }
    void tree_select(TreeItemId) override {}
    void tree_redraw() override {}
    void records_delete_all_rows() override {}
    void records_delete_row(int) override {}
    void log_overwrite_last(std::string_view) override {}
    void records_delete_columns(int) override {}
    void records_add_column(int, std::string_view, int) override {}
    void records_add_row(int, std::string_view) override {}
    void records_set_cell(int, int, std::string_view) override {}
    void records_set_text(std::string_view) override {}
    void records_set_page_label(std::string_view) override {}
    void records_enable_previous(bool) override {}
    void records_enable_next(bool) override {}
    void records_show_table(bool) override {}
    void records_redraw() override {}
    void open_url(std::string_view) override {}
    void show_about() override {}
    void tree_insert_item(TreeItemId, TreeItemId, std::string_view, InsertPosition) override {}
    void tree_delete_all() override {}
    void tree_set_children_order(TreeItemId, const std::vector<TreeItemId>&) override {}
    void tree_set_item_data(TreeItemId, std::uint32_t) override {}
    void tree_set_bold(TreeItemId, bool) override {}

private:
    OpenChoices choices_;
};

DatabaseSpec many_tables(Layout layout, int tables) {
    DatabaseSpec blueprint;
    blueprint.layout = layout;
    blueprint.name = fmt::format("Bench{}", tables);
    for (int t = 0; t < tables; ++t) {
        auto& table = blueprint.add_table(fmt::format("table_{:05}", t));
        table.add_column("id", SqlType::Int);
        for (int c = 1; c < kColumns; ++c)
            if (c % 3 == 0)
                table.add_column(fmt::format("name_{}", c), SqlType::NVarChar, 40, true);
            else
                table.add_column(fmt::format("value_{}", c), SqlType::Int, 0, true);
        table.primary_key({"id"});
        for (int r = 0; r < kRowsPerTable; ++r) {
            std::vector<Value> row;
            row.push_back(Value::integer(r + 1));
            for (int c = 1; c < kColumns; ++c)
                row.push_back(c % 3 == 0 ? Value::text(fmt::format("row {} of {}", r, t))
                                         : Value::integer(t * 100 + c));
            table.add_row(std::move(row));
        }
    }
    return blueprint;
}

// The file of a layout and table count, written on first use.
const std::string& bench_file(Layout layout, int tables) {
    static std::map<std::pair<int, int>, std::string> paths;
    auto& path = paths[{static_cast<int>(layout), tables}];
    if (!path.empty()) return path;
    const fs::path file = fs::path(QUENLOW_BINARY_DIR) / "bench-data" /
                          fmt::format("scan_{}_{}.mdf", layout == Layout::k2005 ? "2005" : "2000", tables);
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        fs::create_directories(file.parent_path(), ec);
        const fs::path temp = file.string() + ".tmp";
        if (!testing::write_database(many_tables(layout, tables), temp.string()))
            throw std::runtime_error("cannot write " + temp.string());
        fs::rename(temp, file);
    }
    path = file.string();
    return path;
}

void scan(benchmark::State& state, Layout layout) {
    const int tables = static_cast<int>(state.range(0));
    const std::string& path = bench_file(layout, tables);
    SilentFrontEnd front(path);
    PosixFileSystem files;
    for (auto _ : state) {
        ApplicationState app;
        MainFrame frame(app, front, files, engine_seams());
        frame.on_open();
        frame.wait_for_worker();
        const std::size_t listed = frame.tree().children(frame.categories().user_tables).size();
        if (listed != static_cast<std::size_t>(tables)) {
            state.SkipWithError(fmt::format("{} user tables listed, {} built", listed, tables).c_str());
            break;
        }
    }
    state.counters["tables/s"] =
        benchmark::Counter(static_cast<double>(tables) * state.iterations(), benchmark::Counter::kIsRate);
}

void Scan2005(benchmark::State& state) {
    scan(state, Layout::k2005);
}
void Scan2000(benchmark::State& state) {
    scan(state, Layout::k2000);
}

// The scan runs on the main frame's worker thread: CPU time is taken for the whole process, so that it
// counts the worker. On a machine shared with other work it is the steadier of the two times.
BENCHMARK(Scan2005)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(Scan2000)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
}  // namespace quenlow
