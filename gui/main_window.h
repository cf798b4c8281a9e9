#pragma once
// The main window: the tool bar with the program's commands, the caption bar with the status sentence,
// the object tree docked left, the log docked at the bottom, the records view in the middle and the
// status bar with the title and the progress bar. The command logic is the application's main frame; the
// window carries its commands in and its front end calls out.
//
// Threads. The frame's commands run on the window's thread. A worker's calls to the front end are queued
// and carried out on the window's thread in order, one hop per burst (a batch of rows is one call); a call
// that answers (a box, a question) waits for it. The worker never touches a widget and the window never
// waits for the engine, so Stop works while a scan runs. When the window goes away it first lets a waiting
// worker go, then waits for it.

#include <QMainWindow>
#include <QStringList>
#include <memory>

#include "app/application_state.h"
#include "app/main_frame.h"
#include "engine/pages/file_reader.h"

class QAction;
class QDockWidget;
class QLabel;
class QProgressBar;
class QSettings;

namespace quenlow::gui {

class LogPane;
class ObjectTreeView;
class Presenter;
class QtFrontEnd;
class RecordsView;

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    // The settings keep the recent files, the look, the last folders, the geometry and the pane layout.
    MainWindow(ApplicationState& app, Presenter& presenter, QSettings& settings, MainFrameSeams seams,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    MainFrame& frame() { return *frame_; }
    ObjectTreeView& tree() { return *tree_; }
    RecordsView& records() { return *records_; }
    LogPane& log() { return *log_; }
    QLabel& caption_bar() { return *caption_; }
    QProgressBar& progress_bar() { return *progress_; }
    QDockWidget& tree_pane() { return *tree_pane_; }
    QDockWidget& log_pane() { return *log_pane_; }
    QAction& open_action() { return *open_; }
    QAction& stop_action() { return *stop_; }
    QAction& save_action() { return *save_; }
    QAction& help_action() { return *help_; }
    QAction& about_action() { return *about_; }
    QStringList recent_files() const;
    int look() const { return look_; }
    void set_look(int id);

    // Runs the worker calls queued so far (the event loop does this by itself).
    void deliver_worker_calls();

signals:
    // The user confirmed closing; the program ends with kCloseExitCode.
    void closeConfirmed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class QtFrontEnd;
    void build_actions();
    void build_panes();
    void remember_open(const OpenChoices& choices);
    void update_commands();

    ApplicationState& app_;
    Presenter& presenter_;
    QSettings& settings_;
    int look_;
    ObjectTreeView* tree_;
    RecordsView* records_;
    LogPane* log_;
    QLabel* caption_;
    QLabel* title_pane_;
    QProgressBar* progress_;
    QDockWidget* tree_pane_;
    QDockWidget* log_pane_;
    QAction* open_;
    QAction* stop_;
    QAction* save_;
    QAction* help_;
    QAction* about_;
    PosixFileSystem files_;
    std::unique_ptr<QtFrontEnd> front_;
    std::unique_ptr<MainFrame> frame_;
};

}  // namespace quenlow::gui
