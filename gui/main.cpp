// quenlow-gui: the desktop window. One copy runs per machine; the window opens maximised.

#include <QApplication>
#include <QScreen>
#include <QSettings>

#include "app/collation_file.h"
#include "app/engine_seams.h"
#include "app/single_instance.h"
#include "gui/main_window.h"
#include "gui/presenter.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("VelmorQuenlowv17.0"));
    quenlow::gui::Presenter presenter;

    quenlow::SingleInstance instance;
    if (!instance.acquire()) {
        presenter.message_box(nullptr, quenlow::BoxIcon::kInformation,
                              QString::fromUtf8(quenlow::kApplicationTitle),
                              QString::fromUtf8(quenlow::kAnotherInstanceMessage.data(),
                                                static_cast<qsizetype>(quenlow::kAnotherInstanceMessage.size())));
        return 1;
    }

    quenlow::ApplicationState app;
    app.engine.collations = quenlow::load_shipped_collations();

    QSettings settings;
    quenlow::gui::MainWindow window(app, presenter, settings, quenlow::engine_seams());
    QObject::connect(&window, &quenlow::gui::MainWindow::closeConfirmed, &application,
                     [&application] { application.exit(quenlow::kCloseExitCode); });
    // Maximised; the whole screen also where no window manager maximises (a bare X server).
    if (const QScreen* screen = window.screen()) window.setGeometry(screen->availableGeometry());
    window.showMaximized();
    return application.exec();
}
