#pragma once
// The open dialog: the primary data file, the recovery mode, three options, how the collation is found,
// and the folder of the log file. OK checks the choice by the application's rules and stays open, showing
// the refusal, while one is refused.

#include <QDialog>
#include <QStringList>
#include <optional>

#include "app/open_choices.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quenlow::gui {

class Presenter;

inline constexpr const char* kOpenDialogTitle = "Select Corrupted MDF file";

class OpenDialog final : public QDialog {
    Q_OBJECT
public:
    // recent_files: the data files opened last, newest first, offered in the path field's list.
    // log_folder: the log folder the field starts with.
    OpenDialog(const OpenDialogRequest& request, const QStringList& recent_files, const QString& log_folder,
               Presenter& presenter, QWidget* parent = nullptr);

    // The accepted choice; nothing before OK passed.
    const std::optional<OpenChoices>& choices() const { return choices_; }
    // The manual collation id as the dialog holds it now (it changes only with the list's selection).
    std::int64_t manual_collation_id() const { return manual_collation_id_; }

    // The fields, for a test or a presenter that fills them in.
    QComboBox& path_field() { return *path_; }
    QComboBox& mode_list() { return *mode_; }
    QCheckBox& sql2000_box() { return *sql2000_; }
    QCheckBox& deleted_box() { return *deleted_; }
    QCheckBox& advanced_deleted_box() { return *advanced_deleted_; }
    QCheckBox& keep_every_box() { return *keep_every_; }
    QRadioButton& auto_detect() { return *auto_; }
    QRadioButton& manual() { return *manual_; }
    QComboBox& collation_list() { return *collations_; }
    QLineEdit& log_folder_field() { return *log_folder_; }
    QPushButton& browse_file_button() { return *browse_file_; }
    QPushButton& browse_folder_button() { return *browse_folder_; }

    void browse_file();
    void browse_folder();

public slots:
    void accept() override;

private:
    void set_automatic(bool automatic);

    Presenter& presenter_;
    std::optional<OpenChoices> choices_;
    std::int64_t manual_collation_id_;
    bool automatic_ = true;
    QComboBox* path_;
    QPushButton* browse_file_;
    QComboBox* mode_;
    QCheckBox* sql2000_;
    QCheckBox* deleted_;
    QCheckBox* advanced_deleted_;
    QCheckBox* keep_every_;
    QRadioButton* auto_;
    QRadioButton* manual_;
    QComboBox* collations_;
    QLineEdit* log_folder_;
    QPushButton* browse_folder_;
};

}  // namespace quenlow::gui
