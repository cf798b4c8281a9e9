// The desktop window, driven headless (offscreen platform): the open dialog through its fields, the tree,
// the records view, the refusals while a worker runs, Stop, closing. Boxes, questions and the dialog's run
// go to a presenter of the test's, so no modal loop runs. Screenshots of the main states are written to
// <build>/screenshots for a person to look at.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "app/collation_file.h"
#include "app/engine_seams.h"
#include "app/open_choices.h"
#include "gui/log_pane.h"
#include "gui/looks.h"
#include "gui/main_window.h"
#include "gui/object_tree_view.h"
#include "gui/open_dialog.h"
#include "gui/presenter.h"
#include "gui/records_view.h"
#include "gui/save_dialog.h"
#include "tests/support/corpus.h"
#include "tests/support/database_builder.h"
#include "tests/support/page_builder.h"
#include "tests/support/sample_database.h"
#include "tests/support/temp_dir.h"

using namespace quenlow;
using namespace quenlow::gui;

namespace {

const QString kTitle = QString::fromUtf8(kApplicationTitle);

// Records what the window would show modally and answers from a script.
class ScriptedPresenter final : public Presenter {
public:
    QStringList boxes;
    QStringList questions;
    std::deque<bool> answers;  // Yes when empty
    std::function<void(OpenDialog&)> fill_dialog;
    std::function<void(SaveDialog&)> fill_save;
    QString chosen_file;
    QString chosen_folder;
    QList<QUrl> urls;
    int abouts = 0;

    void message_box(QWidget*, BoxIcon, const QString& caption, const QString& text) override {
        QCOMPARE_EQ(caption, kTitle);
        boxes << text;
    }
    bool ask_yes_no(QWidget*, BoxIcon, const QString&, const QString& text) override {
        questions << text;
        if (answers.empty()) return true;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    bool run_dialog(QDialog& dialog) override {
        if (auto* save = qobject_cast<SaveDialog*>(&dialog)) {
            if (!fill_save) return false;
            fill_save(*save);
            return save->result() == QDialog::Accepted;
        }
        auto* open = qobject_cast<OpenDialog*>(&dialog);
        if (open == nullptr || !fill_dialog) return false;
        fill_dialog(*open);
        return open->result() == QDialog::Accepted;
    }
    QString choose_file(QWidget*, const QString&, const QString&, const QString&) override { return chosen_file; }
    QString choose_folder(QWidget*, const QString&, const QString&) override { return chosen_folder; }
    void open_url(const QUrl& url) override { urls << url; }
    void show_about(QWidget*) override { ++abouts; }
};

// Holds the scan's catalog build until the test lets it go.
class Gate {
public:
    void close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    void pass() {
        std::unique_lock lock(mutex_);
        entered_ = true;
        cv_.wait(lock, [this] { return open_; });
    }
    bool entered() {
        std::lock_guard lock(mutex_);
        return entered_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = true;
    bool entered_ = false;
};

QStringList children_texts(QTreeWidgetItem* item) {
    QStringList out;
    for (int i = 0; item != nullptr && i < item->childCount(); ++i) out << item->child(i)->text(0);
    return out;
}

QTreeWidgetItem* child_named(QTreeWidgetItem* item, const QString& text) {
    for (int i = 0; item != nullptr && i < item->childCount(); ++i)
        if (item->child(i)->text(0) == text) return item->child(i);
    return nullptr;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    testing::TempDir folder_;
    QString sample_;
    QString logs_;
    std::unique_ptr<QSettings> settings_;
    ApplicationState app_;
    ScriptedPresenter presenter_;
    Gate gate_;
    std::unique_ptr<MainWindow> window_;

    MainFrameSeams gated_seams() {
        MainFrameSeams seams = engine_seams();
        seams.build_catalog = [this, build = seams.build_catalog](OpenedDatabase& db) {
            gate_.pass();
            return build(db);
        };
        return seams;
    }

    void new_window() {
        window_.reset();
        app_.log_line_counter = 0;
        window_ = std::make_unique<MainWindow>(app_, presenter_, *settings_, gated_seams());
        window_->resize(1280, 800);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    // Runs the event loop until no worker runs and every call it made has reached the window.
    bool settle(int limit_ms = 120000) {
        QElapsedTimer timer;
        timer.start();
        while (window_->frame().busy()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (timer.elapsed() > limit_ms) return false;
        }
        QCoreApplication::processEvents();
        window_->deliver_worker_calls();
        return true;
    }

    // Opens a file through the dialog's fields and waits for the scan.
    void open_file(const QString& path, bool fullest = false) {
        start_open(path, fullest);
        QVERIFY(settle());
    }

    // Confirms the open dialog with the file and returns while the scan runs. fullest: Advanced Mode with
    // both deleted-record boxes checked.
    void start_open(const QString& path, bool fullest = false) {
        presenter_.fill_dialog = [=, this](OpenDialog& dialog) {
            dialog.path_field().setEditText(path);
            if (fullest) {
                dialog.mode_list().setCurrentIndex(1);
                dialog.deleted_box().setChecked(true);
                dialog.advanced_deleted_box().setChecked(true);
            }
            dialog.log_folder_field().setText(logs_);
            dialog.accept();
        };
        window_->open_action().trigger();
    }

    QTreeWidgetItem* root() { return window_->tree().topLevelItem(0); }
    QTreeWidgetItem* category(const QString& path) {
        QTreeWidgetItem* item = root();
        for (const QString& part : path.split(QLatin1Char('/'))) item = child_named(item, part);
        return item;
    }

    // A left press on an item's label, as the user makes it.
    void click_label(QTreeWidgetItem* item) {
        QVERIFY(item != nullptr);
        ObjectTreeView& tree = window_->tree();
        tree.scrollToItem(item);
        const QRect label = tree.part_rect(tree.item_id(item), TreeHitPart::kLabel);
        QVERIFY(!label.isEmpty());
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, label.center());
        QCoreApplication::processEvents();
        QVERIFY(settle());
    }

    void screenshot(const QString& name, QWidget* widget = nullptr) {
        QDir().mkpath(QStringLiteral(QUENLOW_SCREENSHOT_DIR));
        QCoreApplication::processEvents();
        const QPixmap shot = (widget ? widget : window_.get())->grab();
        QVERIFY(shot.save(QStringLiteral(QUENLOW_SCREENSHOT_DIR "/") + name));
    }

    QStringList log_lines() {
        QStringList out;
        LogModel& model = window_->log().model();
        for (int i = 0; i < model.rowCount(); ++i) out << model.line(i);
        return out;
    }

    // What `quenlow rows` prints for a table: the cells of each row. jsonl carries export values, NULL as
    // null; the tables compared here hold no type whose export text differs from what the list shows.
    static std::vector<QStringList> cli_rows(const QString& file, const QString& table, int page,
                                             const QStringList& choices = {}) {
        QProcess cli;
        cli.start(QStringLiteral(QUENLOW_CLI_PATH), QStringList{QStringLiteral("rows"), file, table, QStringLiteral("--format"),
                                                     QStringLiteral("jsonl"), QStringLiteral("--page"),
                                                     QString::number(page)} + choices);
        cli.waitForFinished(120000);
        std::vector<QStringList> rows;
        for (const QByteArray& line : cli.readAllStandardOutput().split('\n')) {
            if (line.isEmpty()) continue;
            QStringList cells;
            for (const QJsonValue& v : QJsonDocument::fromJson(line).array())
                cells << (v.isNull() ? QStringLiteral("NULL") : v.toString());
            rows.push_back(cells);
        }
        return rows;
    }

    // A corpus file, decompressed; empty, with the reason in `why`, when it cannot be had.
    static QString corpus_path(const char* name, QString& why) {
        if (!testing::corpus_available()) {
            why = QString::fromStdString(testing::corpus_missing_reason());
            return {};
        }
        const testing::CorpusFile* file = testing::find_corpus_file(name);
        const auto local = file != nullptr ? testing::materialize(*file) : testing::Materialized{};
        if (file == nullptr || !local) {
            why = QString::fromUtf8(name) + (file == nullptr ? QStringLiteral(" is not in the corpus")
                                                            : QStringLiteral(": ") + QString::fromStdString(local.error));
            return {};
        }
        return QString::fromStdString(local.path.string());
    }

    std::vector<QStringList> shown_rows() {
        RecordTableModel& model = window_->records().model();
        std::vector<QStringList> rows;
        for (int r = 0; r < model.rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < model.columnCount(); ++c) cells << model.cell(r, c);
            rows.push_back(cells);
        }
        return rows;
    }

private slots:
    void initTestCase() {
        sample_ = QString::fromStdString(folder_.file("sample.mdf"));
        const auto built = testing::build_database_image(testing::sample_database_spec());
        testing::write_file(sample_.toStdString(), built.image);
        logs_ = QString::fromStdString(folder_.file("logs"));
        QDir().mkpath(logs_);
        settings_ = std::make_unique<QSettings>(QString::fromStdString(folder_.file("settings.ini")),
                                                QSettings::IniFormat);
        app_.engine.collations = load_collation_file(QUENLOW_COLLATION_FILE);
    }

    void init() {
        presenter_ = {};
        new_window();
    }

    void cleanup() { window_.reset(); }

    void emptyWindowShowsTheStartState() {
        QCOMPARE(window_->windowTitle(), kTitle);
        QCOMPARE(window_->caption_bar().text(), QStringLiteral("Select MDF database file to continue the recovery process."));
        QVERIFY(!window_->progress_bar().isVisible());
        QVERIFY(!window_->stop_action().isEnabled());
        QCOMPARE(window_->tree_pane().windowTitle(), QStringLiteral("MS SQL Database Objects"));
        QCOMPARE(window_->log_pane().windowTitle(), QStringLiteral("Output"));
        const QList<std::pair<QAction*, QString>> tips = {
            {&window_->open_action(), QStringLiteral("Open Database file")},
            {&window_->stop_action(), QStringLiteral("Stop running process")},
            {&window_->save_action(), QStringLiteral("Save recovered data")},
            {&window_->help_action(), QStringLiteral("Help for Velmor Quenlow")},
            {&window_->about_action(), QStringLiteral("About Velmor Quenlow")}};
        for (const auto& [action, tip] : tips) QCOMPARE(action->toolTip(), tip);
        QVERIFY(!window_->records().table_shown());
        screenshot(QStringLiteral("empty-window.png"));

        window_->help_action().trigger();
        window_->about_action().trigger();
        QCOMPARE(presenter_.urls.size(), 1);
        QVERIFY(presenter_.urls.front().toLocalFile().endsWith(QStringLiteral("quenlow-help.html")));
        QVERIFY(QFileInfo::exists(presenter_.urls.front().toLocalFile()));
        QCOMPARE(presenter_.abouts, 1);
    }

    void openDialogKeepsItsDefaultsAndRefusals() {
        OpenDialogRequest request{app_.engine.collations, 0};
        OpenDialog dialog(request, {QStringLiteral("/a.mdf")}, logs_, presenter_);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Corrupted MDF file"));
        QCOMPARE(dialog.mode_list().currentText(), QStringLiteral("Standard Mode"));
        QCOMPARE(dialog.mode_list().itemText(1), QStringLiteral("Advanced Mode"));
        QVERIFY(dialog.auto_detect().isChecked());
        QVERIFY(!dialog.collation_list().isEnabled());
        QVERIFY(dialog.path_field().currentText().isEmpty());
        QCOMPARE(dialog.path_field().itemText(0), QStringLiteral("/a.mdf"));
        QVERIFY(dialog.collation_list().count() > 10);
        QStringList names;
        for (int i = 0; i < dialog.collation_list().count(); ++i) names << dialog.collation_list().itemText(i);
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(names, sorted);
        dialog.resize(620, 300);
        screenshot(QStringLiteral("open-dialog.png"), &dialog);

        // The refusals, in the dialog's order; the dialog stays open.
        const QString bak = QString::fromStdString(folder_.file("data.mdf.bak"));
        QFile(sample_).copy(bak);
        struct Case {
            QString path, folder, refusal;
        };
        const QList<Case> cases = {
            {QString(), logs_, QString::fromUtf8(kInvalidSqlPath)},
            {QString::fromStdString(folder_.file("missing.mdf")), logs_, QString::fromUtf8(kInvalidSqlPath)},
            {sample_, QString(), QString::fromUtf8(kInvalidLogPath)},
            {sample_, logs_ + QStringLiteral("/nowhere"), QString::fromUtf8(kInvalidLogPath)},
            {bak, logs_, QString()},  // ".mdf" anywhere in the name passes
        };
        for (const Case& c : cases) {
            presenter_.boxes.clear();
            dialog.path_field().setEditText(c.path);
            dialog.log_folder_field().setText(c.folder);
            dialog.accept();
            QCOMPARE(presenter_.boxes, c.refusal.isEmpty() ? QStringList() : QStringList{c.refusal});
            QCOMPARE(dialog.choices().has_value(), c.refusal.isEmpty());
        }

        // Manual collation: the list is enabled and only a change of its selection sets the id.
        dialog.manual().click();
        QVERIFY(dialog.collation_list().isEnabled());
        QCOMPARE(dialog.manual_collation_id(), 0);
        dialog.collation_list().setCurrentIndex(1);
        QVERIFY(dialog.manual_collation_id() != 0);

        presenter_.chosen_file = QString::fromStdString(folder_.file("gone.mdf"));
        dialog.browse_file();
        QCOMPARE(presenter_.boxes.last(), QStringLiteral("Please select valid mdf file."));
        presenter_.chosen_folder = QStringLiteral("  ") + logs_ + QStringLiteral("  ");
        dialog.log_folder_field().clear();
        dialog.browse_folder();
        QCOMPARE(dialog.log_folder_field().text(), logs_);
    }

    void scanBuildsTheTreeAndATableClickShowsItsRows() {
        open_file(sample_);
        QCOMPARE(presenter_.boxes, QStringList{QStringLiteral("Scanning process completed.")});
        QCOMPARE(log_lines().last(), QStringLiteral("Scanning completed for selected mdf file."));
        QCOMPARE(window_->caption_bar().text(), QStringLiteral("Scanning completed for selected mdf file"));
        QVERIFY(!window_->progress_bar().isVisible());
        QCOMPARE(root()->text(0), sample_);
        QCOMPARE(children_texts(root()),
                 (QStringList{QStringLiteral("Views"), QStringLiteral("Programmability"), QStringLiteral("Tables")}));
        QCOMPARE(children_texts(category(QStringLiteral("Programmability"))),
                 (QStringList{QStringLiteral("Triggers"), QStringLiteral("Default"), QStringLiteral("Store Procedure"),
                              QStringLiteral("Function")}));
        QTreeWidgetItem* details = child_named(category(QStringLiteral("Tables/User Tables")), QStringLiteral("OrderDetails"));
        QVERIFY(details != nullptr);
        QVERIFY(details->font(0).bold());
        QCOMPARE(QSettings(settings_->fileName(), QSettings::IniFormat).value(QStringLiteral("RecentFiles")).toStringList().value(0),
                 sample_);

        root()->setExpanded(true);
        category(QStringLiteral("Tables"))->setExpanded(true);
        category(QStringLiteral("Tables/User Tables"))->setExpanded(true);
        click_label(details);
        RecordsView& records = window_->records();
        QVERIFY(records.table_shown());
        QCOMPARE(records.page_label().text(), QStringLiteral("Page1 - [1000](1-1000) Records"));
        QVERIFY(!records.previous_button().isEnabled());
        QVERIFY(records.next_button().isEnabled());
        QCOMPARE(shown_rows(), cli_rows(sample_, QStringLiteral("OrderDetails"), 1));
        QVERIFY(details->childCount() > 1);  // the schema items grew under the table
        records.table().selectionModel()->select(
            QItemSelection(records.model().index(0, 0), records.model().index(1, 1)), QItemSelectionModel::Select);
        QCOMPARE(records.table().copy_selection().count(QLatin1Char('\n')), 2);
        QVERIFY(records.table().copy_selection().split(QLatin1Char('\n')).front().contains(QLatin1Char('\t')));
        screenshot(QStringLiteral("table-rows.png"));

        // Next, then Previous, each as `quenlow rows` pages.
        QTest::mouseClick(&records.next_button(), Qt::LeftButton);
        QVERIFY(settle());
        QCOMPARE(shown_rows(), cli_rows(sample_, QStringLiteral("OrderDetails"), 2));
        QVERIFY(records.page_label().text().startsWith(QStringLiteral("Page2 - [")));
        QVERIFY(records.previous_button().isEnabled());
        QTest::mouseClick(&records.previous_button(), Qt::LeftButton);
        QVERIFY(settle());
        QVERIFY(records.page_label().text().endsWith(QStringLiteral(" - [1000](1-1000) Records")));
        QCOMPARE(shown_rows(), cli_rows(sample_, QStringLiteral("OrderDetails"), 1));

        // A view shows its definition as text.
        click_label(child_named(category(QStringLiteral("Views")), QStringLiteral("CustomerOrders")));
        QVERIFY(!records.table_shown());
        QVERIFY(records.text_box().toPlainText().contains(QStringLiteral("CREATE VIEW"), Qt::CaseInsensitive));
        screenshot(QStringLiteral("definition.png"));

        window_->set_look(kLookDark);
        QCOMPARE(QSettings(settings_->fileName(), QSettings::IniFormat).value(QStringLiteral("ApplicationLook")).toInt(),
                 kLookDark);
        click_label(details);
        screenshot(QStringLiteral("dark-look.png"));
        window_->set_look(kLookLight);
    }

    void checkBoxesPropagateAndAreReadByTheApplication() {
        open_file(sample_);
        QTreeWidgetItem* tables = category(QStringLiteral("Tables"));
        QTreeWidgetItem* user = category(QStringLiteral("Tables/User Tables"));
        QVERIFY2(tables != nullptr && user != nullptr, qPrintable(presenter_.boxes.join(QLatin1Char('|'))));
        ObjectTreeView& tree = window_->tree();
        tables->setCheckState(0, Qt::Checked);
        QCOMPARE(user->child(0)->checkState(0), Qt::Checked);
        QCOMPARE(root()->checkState(0), Qt::PartiallyChecked);
        user->child(0)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(user->checkState(0), Qt::PartiallyChecked);
        QCOMPARE(tables->checkState(0), Qt::PartiallyChecked);
        TreeCheckMarks& marks = window_->frame().check_marks();
        QCOMPARE(marks.mark(tree.item_id(user->child(1))), CheckMark::kChecked);
        QCOMPARE(marks.mark(tree.item_id(user->child(0))), CheckMark::kUnchecked);
        QCOMPARE(marks.mark(tree.item_id(tables)), CheckMark::kPartly);

        // A press on the check box toggles it and shows nothing; a press on the label shows the item.
        const int lines = log_lines().size();
        QTreeWidgetItem* views = category(QStringLiteral("Views"));
        tree.scrollToItem(views);
        const QRect box = tree.part_rect(tree.item_id(views), TreeHitPart::kCheckBox);
        QVERIFY(!box.isEmpty());
        QCOMPARE(tree.hit_part(box.center()), TreeHitPart::kCheckBox);
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, box.center());
        QVERIFY(settle());
        QCOMPARE(views->checkState(0), Qt::Checked);
        QCOMPARE(log_lines().size(), lines);
        click_label(views);
        QCOMPARE(log_lines().value(lines), QStringLiteral("Please wait while Views folder is scanning."));
        // Enter on the current item shows it too.
        tree.setCurrentItem(tables);
        QTest::keyClick(&tree, Qt::Key_Return);
        QCoreApplication::processEvents();
        QVERIFY(settle());
        QVERIFY(log_lines().contains(QStringLiteral("Please wait while Tables folder is scanning.")));
    }

    void busyWindowRefusesAndStopEndsTheScan() {
        gate_.close();
        start_open(sample_);
        QTRY_VERIFY(gate_.entered());
        QTRY_VERIFY(window_->stop_action().isEnabled());
        QVERIFY(window_->progress_bar().isVisible());

        window_->open_action().trigger();
        window_->save_action().trigger();
        window_->help_action().trigger();
        window_->about_action().trigger();
        QVERIFY(!window_->close());
        QCOMPARE(presenter_.boxes, (QStringList{QStringLiteral("Please wait for the running process."),
                                               QStringLiteral("Please wait for the running process."),
                                               QStringLiteral("Please stop the running process to continue the process."),
                                               QStringLiteral("Please stop the running process to continue the process."),
                                               QStringLiteral("Please stop the running process to close the application.")}));

        // Stop answered No changes nothing; Yes stops at once.
        presenter_.answers = {false, true};
        window_->stop_action().trigger();
        QVERIFY(window_->frame().stop_enabled());
        window_->stop_action().trigger();
        QCOMPARE(presenter_.questions.last(), QStringLiteral("Are you sure to stop the running process?"));
        QVERIFY(!window_->stop_action().isEnabled());
        gate_.open();
        QVERIFY(settle());
        QVERIFY(!window_->frame().busy());
    }

    void closingAsksShowsTheLogPathAndEndsWithSuccess() {
        open_file(sample_);
        QSignalSpy confirmed(window_.get(), &MainWindow::closeConfirmed);
        presenter_.boxes.clear();
        presenter_.answers = {false, true};
        QVERIFY(!window_->close());
        QCOMPARE(confirmed.count(), 0);
        QVERIFY(window_->close());
        QCOMPARE(confirmed.count(), 1);
        QCOMPARE(presenter_.questions, (QStringList{QStringLiteral("Do you want to close the application?"),
                                                    QStringLiteral("Do you want to close the application?")}));
        QCOMPARE(presenter_.boxes.size(), 1);
        QVERIFY(presenter_.boxes.front().startsWith(QStringLiteral("Log file path : ") + logs_));
        QCOMPARE(kCloseExitCode, 0);
    }

    // The window goes away while the scan's worker waits for it to show the last box: no deadlock.
    void endingTheWindowWhileItsWorkerWaitsReturns() {
        gate_.close();
        start_open(sample_);
        QTRY_VERIFY(gate_.entered());
        gate_.open();
        // The window's thread does not run its event loop now, so the worker ends up waiting for it.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        QElapsedTimer timer;
        timer.start();
        window_.reset();
        QVERIFY(timer.elapsed() < 10000);
    }

    void saveExportsTheCheckedTablesOnly() {
        open_file(sample_);
        QTreeWidgetItem* user = category(QStringLiteral("Tables/User Tables"));
        child_named(user, QStringLiteral("Customers"))->setCheckState(0, Qt::Checked);
        child_named(user, QStringLiteral("Orders"))->setCheckState(0, Qt::Checked);
        const QString out = QString::fromStdString(folder_.file("saved"));
        QDir().mkpath(out);
        presenter_.boxes.clear();
        presenter_.fill_save = [&](SaveDialog& dialog) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Save recovered data"));
            dialog.kind_list().setCurrentIndex(0);
            dialog.path_field().setText(out);
            dialog.accept();
        };
        window_->save_action().trigger();
        QVERIFY(settle());
        QStringList files = QDir(out).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, (QStringList{QStringLiteral("dbo.Customers.csv"), QStringLiteral("dbo.Orders.csv"),
                                     QStringLiteral("recovery-report.json")}));
        QCOMPARE(presenter_.boxes.size(), 1);
        QVERIFY(presenter_.boxes.front().startsWith(QStringLiteral("The recovered data has been saved.")));
        QFile customers(QDir(out).filePath(QStringLiteral("dbo.Customers.csv")));
        QVERIFY(customers.open(QIODevice::ReadOnly));
        QVERIFY(customers.readLine().startsWith("CustomerId,"));

        // Saving there again asks first; No keeps the dialog and writes nothing.
        presenter_.answers = {false};
        presenter_.fill_save = [&](SaveDialog& dialog) {
            dialog.path_field().setText(out);
            dialog.accept();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        };
        window_->save_action().trigger();
        QVERIFY(settle());
        QCOMPARE(presenter_.questions.size(), 1);
        QCOMPARE(presenter_.boxes.size(), 1);

        // The same two tables as a T-SQL script.
        const QString script = QString::fromStdString(folder_.file("saved.sql"));
        presenter_.fill_save = [&](SaveDialog& dialog) {
            dialog.kind_list().setCurrentIndex(2);
            dialog.path_field().setText(script);
            screenshot(QStringLiteral("save-dialog.png"), &dialog);
            dialog.accept();
        };
        window_->save_action().trigger();
        QVERIFY(settle());
        QFile sql(script);
        QVERIFY(sql.open(QIODevice::ReadOnly));
        const QByteArray text = sql.readAll();
        QCOMPARE(text.count("CREATE TABLE "), 2);
        QVERIFY(text.contains("CREATE TABLE [dbo].[Customers] ("));
        QVERIFY(text.contains("CREATE TABLE [dbo].[Orders] ("));
        QVERIFY(text.contains("INSERT INTO [dbo].[Orders] ("));
    }

    void corpusTableAndViewMatchTheCommandLine() {
        QString why;
        const QString path = corpus_path("v655_northwnd_itsligo", why);
        if (path.isEmpty()) QSKIP(qPrintable(why));
        open_file(path);
        QTreeWidgetItem* user = category(QStringLiteral("Tables/User Tables"));
        QVERIFY(user != nullptr);
        QVERIFY(user->childCount() >= 8);
        QTreeWidgetItem* details = child_named(user, QStringLiteral("Order Details"));
        QVERIFY(details != nullptr);
        QVERIFY(details->font(0).bold());
        click_label(details);
        QCOMPARE(window_->records().page_label().text(), QStringLiteral("Page1 - [1000](1-1000) Records"));
        QCOMPARE(shown_rows(), cli_rows(path, QStringLiteral("Order Details"), 1));
        screenshot(QStringLiteral("corpus-northwind.png"));
        QTreeWidgetItem* views = category(QStringLiteral("Views"));
        QVERIFY(views != nullptr && views->childCount() > 0);
        click_label(views->child(0));
        QVERIFY(window_->records().text_box().toPlainText().contains(QStringLiteral("create view"), Qt::CaseInsensitive));
    }

    // Rows that are not live rows lead with their state and are tinted; live rows are not.
    void corpusDeletedRowsShowTheirState() {
        QString why;
        const QString path = corpus_path("v661_ybaros", why);
        if (path.isEmpty()) QSKIP(qPrintable(why));
        open_file(path, true);
        QTreeWidgetItem* table = child_named(category(QStringLiteral("Tables/User Tables")), QStringLiteral("ReservationTBL"));
        QVERIFY(table != nullptr);
        click_label(table);
        RecordTableModel& model = window_->records().model();
        QCOMPARE(model.titles().front(), QStringLiteral("State"));
        const QStringList fullest{QStringLiteral("--mode"), QStringLiteral("advanced"), QStringLiteral("--deleted"),
                                  QStringLiteral("--advanced-deleted")};
        // The command line's rows (jsonl, whose numbers are in their exact form) in the same states.
        const std::vector<QStringList> shown = shown_rows();
        const std::vector<QStringList> printed = cli_rows(path, QStringLiteral("ReservationTBL"), 1, fullest);
        QCOMPARE(shown.size(), printed.size());
        for (std::size_t r = 0; r < shown.size(); ++r) QCOMPARE(shown[r].front(), printed[r].front());
        int tinted = 0;
        for (int r = 0; r < model.rowCount(); ++r) {
            const bool live = model.cell(r, 0) == QStringLiteral("live");
            const bool coloured = model.data(model.index(r, 1), Qt::BackgroundRole).isValid();
            QCOMPARE(coloured, !live);
            tinted += coloured ? 1 : 0;
        }
        QVERIFY(tinted > 0);  // rows the body scan found: deleted reservations and earlier versions
        screenshot(QStringLiteral("deleted-rows.png"));
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
