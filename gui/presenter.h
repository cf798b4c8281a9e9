#pragma once
// Everything the window shows modally or hands to the desktop: message boxes, questions, the open
// dialog's run, the file and folder pickers, the about box, web pages. The program uses the desktop's
// own; tests put a presenter of their own in its place, so no modal loop ever runs in a test.

#include <QString>
#include <QUrl>

#include "app/front_end.h"

class QDialog;
class QWidget;

namespace quenlow::gui {

class Presenter {
public:
    virtual ~Presenter() = default;
    virtual void message_box(QWidget* parent, BoxIcon icon, const QString& caption, const QString& text);
    // True for Yes.
    virtual bool ask_yes_no(QWidget* parent, BoxIcon icon, const QString& caption, const QString& text);
    // Runs a dialog; true when it was accepted.
    virtual bool run_dialog(QDialog& dialog);
    // An existing file, or empty when the user cancelled.
    virtual QString choose_file(QWidget* parent, const QString& caption, const QString& folder,
                                const QString& filter);
    // A file to write, or empty when the user cancelled.
    virtual QString choose_save_file(QWidget* parent, const QString& caption, const QString& start,
                                     const QString& filter);
    // A folder, or empty when the user cancelled.
    virtual QString choose_folder(QWidget* parent, const QString& caption, const QString& folder);
    virtual void open_url(const QUrl& url);
    virtual void show_about(QWidget* parent);
};

}  // namespace quenlow::gui
