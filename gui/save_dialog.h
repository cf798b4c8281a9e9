#pragma once
// The save dialog: what Save writes (CSV files, one per table, in a folder; or one SQLite file) and
// where. OK refuses a folder or file that cannot be written, and asks before an existing output is
// replaced.

#include <QDialog>
#include <optional>

#include "app/front_end.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace quenlow::gui {

class Presenter;

inline constexpr const char* kSaveDialogTitle = "Save recovered data";

class SaveDialog final : public QDialog {
    Q_OBJECT
public:
    SaveDialog(const QString& start_path, Presenter& presenter, QWidget* parent = nullptr);

    const std::optional<SaveChoice>& choice() const { return choice_; }
    QComboBox& kind_list() { return *kind_; }
    QLineEdit& path_field() { return *path_; }
    void browse();

public slots:
    void accept() override;

private:
    ExportKind kind() const;

    Presenter& presenter_;
    std::optional<SaveChoice> choice_;
    QComboBox* kind_;
    QLineEdit* path_;
    QPushButton* browse_;
};

}  // namespace quenlow::gui
