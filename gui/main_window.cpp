#include "gui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "gui/log_pane.h"
#include "gui/looks.h"
#include "gui/object_tree_view.h"
#include "gui/presenter.h"
#include "gui/qt_front_end.h"
#include "gui/records_view.h"

namespace quenlow::gui {

namespace {

constexpr int kRecentFiles = 4;
const QString kRecentFilesKey = QStringLiteral("RecentFiles");
const QString kLookKey = QStringLiteral("ApplicationLook");
const QString kGeometryKey = QStringLiteral("MainWindow/Geometry");
const QString kStateKey = QStringLiteral("MainWindow/State");

}  // namespace

MainWindow::MainWindow(ApplicationState& app, Presenter& presenter, QSettings& settings, MainFrameSeams seams,
                       QWidget* parent)
    : QMainWindow(parent),
      app_(app),
      presenter_(presenter),
      settings_(settings),
      look_(known_look(settings.value(kLookKey, kDefaultLook).toInt())) {
    setWindowTitle(QString::fromUtf8(kApplicationTitle));
    setObjectName(QStringLiteral("MainWindow"));
    build_panes();
    build_actions();
    if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance()))
        apply_look(*application, look_);
    restoreGeometry(settings_.value(kGeometryKey).toByteArray());
    restoreState(settings_.value(kStateKey).toByteArray());

    front_ = std::make_unique<QtFrontEnd>(*this);
    frame_ = std::make_unique<MainFrame>(app_, *front_, files_, std::move(seams));
    tree_->set_check_sink(&frame_->check_marks());

    connect(tree_, &ObjectTreeView::itemPressed, this, [this](quint32 item, int part, int button) {
        frame_->on_tree_click(item, static_cast<TreeHitPart>(part),
                              button == 1 ? MouseButton::kRight : MouseButton::kLeft);
    });
    connect(records_, &RecordsView::previousClicked, this, [this] { frame_->on_previous_records(); });
    connect(records_, &RecordsView::nextClicked, this, [this] { frame_->on_next_records(); });

    // Stop is enabled while a worker runs; the flag is the frame's, so it is looked at often.
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &MainWindow::update_commands);
    poll->start(100);
    update_commands();
}

MainWindow::~MainWindow() {
    settings_.setValue(kGeometryKey, saveGeometry());
    settings_.setValue(kStateKey, saveState());
    // The frame lets a worker that waits for this window go, then waits for it to end.
    frame_.reset();
}

void MainWindow::build_panes() {
    records_ = new RecordsView(this);

    // The caption bar: the status sentence, under the tool bar, across the window.
    auto* caption_row = new QWidget(this);
    auto* caption_layout = new QHBoxLayout(caption_row);
    caption_layout->setContentsMargins(6, 3, 6, 3);
    auto* info = new QLabel(caption_row);
    info->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
    caption_ = new QLabel(caption_row);
    caption_->setObjectName(QStringLiteral("CaptionBar"));
    caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    caption_layout->addWidget(info);
    caption_layout->addWidget(caption_, 1);

    auto* central = new QWidget(this);
    auto* central_layout = new QVBoxLayout(central);
    central_layout->setContentsMargins(0, 0, 0, 0);
    central_layout->setSpacing(0);
    central_layout->addWidget(caption_row);
    central_layout->addWidget(records_, 1);
    setCentralWidget(central);

    tree_ = new ObjectTreeView(this);
    tree_pane_ = new QDockWidget(QStringLiteral("MS SQL Database Objects"), this);
    tree_pane_->setObjectName(QStringLiteral("ObjectTreePane"));
    tree_pane_->setWidget(tree_);
    tree_pane_->setMinimumWidth(200);
    addDockWidget(Qt::LeftDockWidgetArea, tree_pane_);

    log_ = new LogPane(this);
    log_pane_ = new QDockWidget(QStringLiteral("Output"), this);
    log_pane_->setObjectName(QStringLiteral("OutputPane"));
    log_pane_->setWidget(log_);
    log_pane_->setMinimumHeight(100);
    addDockWidget(Qt::BottomDockWidgetArea, log_pane_);
    resizeDocks({tree_pane_}, {300}, Qt::Horizontal);
    resizeDocks({log_pane_}, {160}, Qt::Vertical);

    title_pane_ = new QLabel(QString::fromUtf8(kApplicationTitle), this);
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    progress_->setFixedHeight(17);
    progress_->setMinimumWidth(250);
    progress_->setVisible(false);
    auto* link = new QLabel(QStringLiteral("<a href=\"help\">Velmor Quenlow</a>"), this);
    connect(link, &QLabel::linkActivated, this, [this] { frame_->on_help(); });
    statusBar()->addWidget(title_pane_);
    statusBar()->addWidget(progress_, 1);
    statusBar()->addPermanentWidget(link);
}

void MainWindow::build_actions() {
    auto* bar = addToolBar(QStringLiteral("Quenlow"));
    bar->setObjectName(QStringLiteral("CommandBar"));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setMovable(false);
    auto command = [&](const char* caption, const char* tip, QStyle::StandardPixmap icon, auto handler) {
        auto* action = bar->addAction(style()->standardIcon(icon), QString::fromUtf8(caption));
        action->setToolTip(QString::fromUtf8(tip));
        action->setStatusTip(QString::fromUtf8(tip));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    open_ = command("Open", "Open Database file", QStyle::SP_DialogOpenButton, [this] { frame_->on_open(); });
    stop_ = command("Stop", "Stop running process", QStyle::SP_BrowserStop, [this] {
        frame_->on_stop();
        update_commands();
    });
    save_ = command("Save", "Save recovered data", QStyle::SP_DialogSaveButton, [this] { frame_->on_save(); });
    help_ = command("Help", "Help for Velmor Quenlow", QStyle::SP_DialogHelpButton, [this] { frame_->on_help(); });
    about_ = command("About", "About Velmor Quenlow", QStyle::SP_MessageBoxInformation, [this] { frame_->on_about(); });
    open_->setShortcut(QKeySequence::Open);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addAction(tree_pane_->toggleViewAction());
    view->addAction(log_pane_->toggleViewAction());
    view->addSeparator();
    QMenu* look_menu = view->addMenu(QStringLiteral("Look"));
    auto* group = new QActionGroup(this);
    for (const Look& look : looks()) {
        QAction* action = look_menu->addAction(look.name);
        action->setCheckable(true);
        action->setChecked(look.id == look_);
        action->setData(look.id);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, id = look.id] { set_look(id); });
    }
}

void MainWindow::set_look(int id) {
    look_ = known_look(id);
    settings_.setValue(kLookKey, look_);
    if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance()))
        apply_look(*application, look_);
}

void MainWindow::update_commands() {
    stop_->setEnabled(frame_ && frame_->stop_enabled());
}

void MainWindow::deliver_worker_calls() {
    if (front_) front_->deliver();
    update_commands();
}

QStringList MainWindow::recent_files() const {
    return settings_.value(kRecentFilesKey).toStringList();
}

void MainWindow::remember_open(const OpenChoices& choices) {
    QStringList files = recent_files();
    const QString path = QString::fromStdString(choices.mdf_path);
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFiles) files.removeLast();
    settings_.setValue(kRecentFilesKey, files);
    if (choices.log_folder) settings_.setValue(QStringLiteral("LastLogFolder"), QString::fromStdString(*choices.log_folder));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!frame_->on_close()) {
        event->ignore();
        return;
    }
    event->accept();
    emit closeConfirmed();
}

}  // namespace quenlow::gui
