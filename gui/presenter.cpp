#include "gui/presenter.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace quenlow::gui {

namespace {

QMessageBox::Icon box_icon(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::kError:
            return QMessageBox::Critical;
        case BoxIcon::kQuestion:
            return QMessageBox::Question;
        case BoxIcon::kInformation:
            break;
    }
    return QMessageBox::Information;
}

}  // namespace

void Presenter::message_box(QWidget* parent, BoxIcon icon, const QString& caption, const QString& text) {
    QMessageBox box(box_icon(icon), caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool Presenter::ask_yes_no(QWidget* parent, BoxIcon icon, const QString& caption, const QString& text) {
    QMessageBox box(box_icon(icon), caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

bool Presenter::run_dialog(QDialog& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

QString Presenter::choose_file(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter) {
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString Presenter::choose_save_file(QWidget* parent, const QString& caption, const QString& start,
                                    const QString& filter) {
    return QFileDialog::getSaveFileName(parent, caption, start, filter);
}

QString Presenter::choose_folder(QWidget* parent, const QString& caption, const QString& folder) {
    return QFileDialog::getExistingDirectory(parent, caption, folder, QFileDialog::ShowDirsOnly);
}

void Presenter::open_url(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void Presenter::show_about(QWidget* parent) {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(kApplicationTitle),
                    QStringLiteral("<b>%1</b><p>Recovers SQL Server databases from their data files alone: the "
                                   "primary file and its secondary files, read page by page, without a "
                                   "database server. The files are only ever read.</p>"
                                   "<p>Help: the page shipped with the program (Help on the tool bar).</p>")
                        .arg(QString::fromUtf8(kApplicationTitle)),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::RichText);
    box.exec();
}

}  // namespace quenlow::gui
