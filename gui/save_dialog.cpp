#include "gui/save_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/export_files.h"
#include "gui/presenter.h"

namespace quenlow::gui {

SaveDialog::SaveDialog(const QString& start_path, Presenter& presenter, QWidget* parent)
    : QDialog(parent), presenter_(presenter) {
    setWindowTitle(QString::fromUtf8(kSaveDialogTitle));
    setModal(true);
    kind_ = new QComboBox(this);
    kind_->addItem(QStringLiteral("CSV files, one per table, in a folder"));
    kind_->addItem(QStringLiteral("SQLite database file"));
    kind_->addItem(QStringLiteral("T-SQL script (tables, rows, keys and definitions) for sqlcmd"));
    path_ = new QLineEdit(start_path, this);
    path_->setMinimumWidth(420);
    browse_ = new QPushButton(QStringLiteral("..."), this);
    browse_->setFixedWidth(32);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Save as:"), this), 0, 0);
    grid->addWidget(kind_, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Folder or file:"), this), 1, 0);
    grid->addWidget(path_, 1, 1);
    grid->addWidget(browse_, 1, 2);
    auto* note = new QLabel(QStringLiteral("The checked items of the tree are saved; nothing checked saves everything. "
                                           "A recovery report is written beside them."),
                            this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(buttons);
    connect(browse_, &QPushButton::clicked, this, &SaveDialog::browse);
    connect(buttons, &QDialogButtonBox::accepted, this, &SaveDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SaveDialog::reject);
}

ExportKind SaveDialog::kind() const {
    switch (kind_->currentIndex()) {
        case 1:
            return ExportKind::kSqlite;
        case 2:
            return ExportKind::kSql;
        default:
            return ExportKind::kCsv;
    }
}

void SaveDialog::browse() {
    const QString start = path_->text();
    const QString chosen =
        kind() == ExportKind::kCsv
            ? presenter_.choose_folder(this, QStringLiteral("Select the folder for the CSV files"), start)
        : kind() == ExportKind::kSql
            ? presenter_.choose_save_file(this, QStringLiteral("T-SQL script"), start,
                                          QStringLiteral("T-SQL script (*.sql)"))
            : presenter_.choose_save_file(this, QStringLiteral("SQLite database file"), start,
                                          QStringLiteral("SQLite database (*.sqlite *.db)"));
    if (!chosen.isEmpty()) path_->setText(chosen.trimmed());
}

void SaveDialog::accept() {
    SaveChoice choice;
    choice.kind = kind();
    choice.path = path_->text().trimmed().toStdString();
    const QString caption = QString::fromUtf8(kApplicationTitle);
    if (choice.path.empty()) {
        presenter_.message_box(this, BoxIcon::kInformation, caption,
                               QStringLiteral("Please select where the recovered data is to be saved."));
        return;
    }
    if (const auto refusal = export_output_refusal(choice.kind, choice.path, false)) {
        // Refused only because the output exists: the user may replace it.
        const bool exists_only = !export_output_refusal(choice.kind, choice.path, true);
        if (!exists_only) {
            presenter_.message_box(this, BoxIcon::kInformation, caption, QString::fromStdString(*refusal));
            return;
        }
        if (!presenter_.ask_yes_no(this, BoxIcon::kQuestion, caption,
                                   QString::fromStdString(*refusal) + QStringLiteral("\n\nReplace it?")))
            return;
        choice.replace = true;
    }
    choice_ = std::move(choice);
    QDialog::accept();
}

}  // namespace quenlow::gui
