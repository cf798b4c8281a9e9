#include "gui/qt_front_end.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QToolButton>

#include "app/main_frame.h"
#include "gui/log_pane.h"
#include "gui/main_window.h"
#include "gui/object_tree_view.h"
#include "gui/open_dialog.h"
#include "gui/presenter.h"
#include "gui/records_view.h"
#include "gui/save_dialog.h"

namespace quenlow::gui {

namespace {

QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The help page ships beside the executable.
QUrl help_page() {
    return QUrl::fromLocalFile(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quenlow-help.html")));
}

int clamp_int(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

QtFrontEnd::QtFrontEnd(MainWindow& window)
    : window_(window), queue_([target = QPointer<MainWindow>(&window)] {
          QMetaObject::invokeMethod(
              target.data(), [target] { if (target) target->deliver_worker_calls(); }, Qt::QueuedConnection);
      }) {}

bool QtFrontEnd::on_window_thread() const {
    return QThread::currentThread() == window_.thread();
}

void QtFrontEnd::deliver() {
    queue_.drain();
}

void QtFrontEnd::run(std::function<void()> call) {
    if (on_window_thread()) {
        queue_.drain();
        call();
        return;
    }
    queue_.post(std::move(call));
}

bool QtFrontEnd::run_and_wait(const std::function<void()>& call) {
    if (on_window_thread()) {
        queue_.drain();
        call();
        return true;
    }
    return queue_.call_and_wait(call);
}

void QtFrontEnd::shutting_down() {
    queue_.shut_down();
}

// ---- engine reports ----

void QtFrontEnd::progress_range(std::int64_t low, std::int64_t high) {
    queue_.clear_latest();
    run([this, low = clamp_int(low), high = clamp_int(high)] {
        window_.progress_->setValue(window_.progress_->minimum());
        window_.progress_->setRange(low, std::max(low, high));
        window_.progress_->setValue(low);
    });
}

void QtFrontEnd::progress_position(std::int64_t position) {
    auto call = [this, position = clamp_int(position)] { window_.progress_->setValue(position); };
    if (on_window_thread()) {
        queue_.drain();
        call();
    } else {
        queue_.post_latest(std::move(call));
    }
}

void QtFrontEnd::status_text(std::string_view text) {
    run([this, t = qt(text)] { window_.records_->set_text(t); });
}

void QtFrontEnd::log_line(std::string_view text) {
    run([this, t = qt(text)] { window_.log_->append(t); });
}

void QtFrontEnd::log_overwrite_last(std::string_view text) {
    run([this, t = qt(text)] { window_.log_->overwrite_last(t); });
}

// ---- caption, progress, boxes ----

void QtFrontEnd::set_caption(std::string_view text) {
    run([this, t = qt(text)] { window_.caption_->setText(t); });
}

void QtFrontEnd::show_progress(bool visible) {
    run([this, visible] { window_.progress_->setVisible(visible); });
}

void QtFrontEnd::message_box(BoxIcon icon, std::string_view caption, std::string_view text) {
    run_and_wait([this, icon, c = qt(caption), t = qt(text)] {
        window_.presenter_.message_box(&window_, icon, c, t);
    });
}

bool QtFrontEnd::ask_yes_no(BoxIcon icon, std::string_view caption, std::string_view text) {
    bool yes = false;
    run_and_wait([&, c = qt(caption), t = qt(text)] { yes = window_.presenter_.ask_yes_no(&window_, icon, c, t); });
    return yes;
}

std::optional<OpenChoices> QtFrontEnd::open_dialog(const OpenDialogRequest& request) {
    std::optional<OpenChoices> result;
    run_and_wait([&] {
        QString folder = window_.settings_.value(QStringLiteral("LastLogFolder")).toString();
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        if (!QFileInfo(folder).isDir()) folder = QDir::homePath();
        OpenDialog dialog(request, window_.recent_files(), folder, window_.presenter_, &window_);
        if (window_.presenter_.run_dialog(dialog) && dialog.choices()) {
            result = dialog.choices();
            window_.remember_open(*result);
        }
    });
    return result;
}

std::optional<SaveChoice> QtFrontEnd::save_dialog() {
    std::optional<SaveChoice> result;
    run_and_wait([&] {
        QSettings& settings = window_.settings_;
        SaveDialog dialog(settings.value(QStringLiteral("LastSavePath")).toString(), window_.presenter_, &window_);
        if (window_.presenter_.run_dialog(dialog) && dialog.choice()) {
            result = dialog.choice();
            settings.setValue(QStringLiteral("LastSavePath"), QString::fromStdString(result->path));
        }
    });
    return result;
}

// ---- tree ----

void QtFrontEnd::tree_insert_item(TreeItemId item, TreeItemId parent, std::string_view text,
                                  InsertPosition position) {
    run([this, item, parent, t = qt(text), position] { window_.tree_->insert_item(item, parent, t, position); });
}

void QtFrontEnd::tree_delete_all() {
    run([this] { window_.tree_->delete_all(); });
}

void QtFrontEnd::tree_set_children_order(TreeItemId parent, const std::vector<TreeItemId>& children) {
    run([this, parent, children] { window_.tree_->set_children_order(parent, children); });
}

void QtFrontEnd::tree_set_bold(TreeItemId item, bool bold) {
    run([this, item, bold] { window_.tree_->set_bold(item, bold); });
}

void QtFrontEnd::tree_select(TreeItemId item) {
    run([this, item] { window_.tree_->select(item); });
}

void QtFrontEnd::tree_redraw() {
    run([this] { window_.tree_->fit_width(); });
}

// ---- records ----

void QtFrontEnd::records_delete_all_rows() {
    run([this] { window_.records_->model().delete_all_rows(); });
}

void QtFrontEnd::records_delete_columns(int count) {
    run([this, count] { window_.records_->model().delete_columns(count); });
}

void QtFrontEnd::records_add_column(int index, std::string_view title, int width) {
    run([this, index, t = qt(title), width] { window_.records_->add_column(index, t, width); });
}

void QtFrontEnd::records_add_row(int index, std::string_view first_cell) {
    run([this, index, t = qt(first_cell)] { window_.records_->model().add_row(index, t); });
}

void QtFrontEnd::records_set_cell(int row, int column, std::string_view text) {
    run([this, row, column, t = qt(text)] { window_.records_->model().set_cell(row, column, t); });
}

void QtFrontEnd::records_insert_row(int index, std::span<const std::string_view> cells) {
    std::vector<RowCells> rows(1);
    rows[0].reserve(cells.size());
    for (std::string_view cell : cells) rows[0].push_back(qt(cell));
    run([this, index, rows = std::move(rows)]() mutable { window_.records_->model().insert_rows(index, std::move(rows)); });
}

void QtFrontEnd::records_insert_rows(int first_index, const RowBlock& block) {
    std::vector<RowCells> rows(block.row_count());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r].reserve(block.width);
        for (const std::string& cell : block.row(r)) rows[r].push_back(qt(cell));
    }
    run([this, first_index, rows = std::move(rows)]() mutable {
        window_.records_->model().insert_rows(first_index, std::move(rows));
    });
}

void QtFrontEnd::records_delete_row(int row) {
    run([this, row] { window_.records_->model().delete_row(row); });
}

void QtFrontEnd::records_set_text(std::string_view text) {
    run([this, t = qt(text)] { window_.records_->set_text(t); });
}

void QtFrontEnd::records_set_page_label(std::string_view text) {
    run([this, t = qt(text)] { window_.records_->page_label().setText(t); });
}

void QtFrontEnd::records_enable_previous(bool enabled) {
    run([this, enabled] { window_.records_->previous_button().setEnabled(enabled); });
}

void QtFrontEnd::records_enable_next(bool enabled) {
    run([this, enabled] { window_.records_->next_button().setEnabled(enabled); });
}

void QtFrontEnd::records_show_table(bool table) {
    run([this, table] { window_.records_->show_table(table); });
}

// ---- desktop ----

void QtFrontEnd::open_url(std::string_view url) {
    // The product's pages are the help page shipped with the program.
    (void)url;
    run([this] { window_.presenter_.open_url(help_page()); });
}

void QtFrontEnd::show_about() {
    run_and_wait([this] { window_.presenter_.show_about(&window_); });
}

}  // namespace quenlow::gui
