#include "gui/open_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "app/front_end.h"
#include "gui/presenter.h"

namespace quenlow::gui {

namespace {


QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

OpenDialog::OpenDialog(const OpenDialogRequest& request, const QStringList& recent_files,
                       const QString& log_folder, Presenter& presenter, QWidget* parent)
    : QDialog(parent), presenter_(presenter), manual_collation_id_(request.manual_collation_id) {
    setWindowTitle(QString::fromUtf8(kOpenDialogTitle));
    setModal(true);

    // The data file and how it is read.
    auto* file_box = new QGroupBox(this);
    path_ = new QComboBox(file_box);
    path_->setEditable(true);
    path_->setInsertPolicy(QComboBox::NoInsert);
    path_->addItems(recent_files);
    path_->setCurrentIndex(-1);
    path_->setEditText(QString());
    path_->setMinimumContentsLength(48);
    path_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    browse_file_ = new QPushButton(QStringLiteral("..."), file_box);
    browse_file_->setFixedWidth(32);
    mode_ = new QComboBox(file_box);
    mode_->addItem(QStringLiteral("Standard Mode"));
    mode_->addItem(QStringLiteral("Advanced Mode"));
    mode_->setCurrentIndex(0);
    sql2000_ = new QCheckBox(QStringLiteral("Is SQL 2000"), file_box);
    deleted_ = new QCheckBox(QStringLiteral("Show deleted records"), file_box);
    advanced_deleted_ = new QCheckBox(QStringLiteral("Show Advanced Deleted records"), file_box);
    keep_every_ = new QCheckBox(QStringLiteral("Keep every candidate record"), file_box);
    keep_every_->setToolTip(QStringLiteral("Also show copies of live rows and records that do not decode cleanly"));
    auto* file_grid = new QGridLayout(file_box);
    file_grid->addWidget(new QLabel(QStringLiteral("Select MDF File Path:"), file_box), 0, 0);
    file_grid->addWidget(path_, 0, 1, 1, 3);
    file_grid->addWidget(browse_file_, 0, 4);
    file_grid->addWidget(new QLabel(QStringLiteral("Select Recovery Mode:"), file_box), 1, 0);
    file_grid->addWidget(mode_, 1, 1);
    file_grid->addWidget(sql2000_, 1, 2);
    file_grid->addWidget(deleted_, 2, 1);
    file_grid->addWidget(advanced_deleted_, 2, 2, 1, 2);
    file_grid->addWidget(keep_every_, 3, 1, 1, 2);
    file_grid->setColumnStretch(3, 1);

    // The collation.
    auto* collation_box = new QGroupBox(QStringLiteral("Collation Option:"), this);
    auto_ = new QRadioButton(QStringLiteral("Auto detect"), collation_box);
    manual_ = new QRadioButton(QStringLiteral("Manual"), collation_box);
    collations_ = new QComboBox(collation_box);
    collations_->setMinimumContentsLength(28);
    // Listed by name, each id once (the table holds each id once).
    std::vector<std::pair<QString, std::int64_t>> entries;
    for (const auto& [id, entry] : request.collations) entries.emplace_back(qt(entry.name), id);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [name, id] : entries) collations_->addItem(name, QVariant::fromValue<qlonglong>(id));
    if (collations_->count() > 0) collations_->setCurrentIndex(0);
    auto* collation_row = new QHBoxLayout(collation_box);
    collation_row->addWidget(auto_);
    collation_row->addWidget(manual_);
    collation_row->addWidget(collations_, 1);

    // The log folder.
    auto* log_box = new QGroupBox(this);
    log_folder_ = new QLineEdit(log_folder, log_box);
    browse_folder_ = new QPushButton(QStringLiteral("..."), log_box);
    browse_folder_->setFixedWidth(32);
    auto* log_grid = new QGridLayout(log_box);
    log_grid->addWidget(new QLabel(QStringLiteral("Select Log file path:"), log_box), 0, 0, 1, 2);
    log_grid->addWidget(log_folder_, 1, 0);
    log_grid->addWidget(browse_folder_, 1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setCenterButtons(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(file_box);
    layout->addWidget(collation_box);
    layout->addWidget(log_box);
    layout->addWidget(buttons);

    set_automatic(true);
    connect(auto_, &QRadioButton::clicked, this, [this] { set_automatic(true); });
    connect(manual_, &QRadioButton::clicked, this, [this] { set_automatic(false); });
    connect(collations_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) manual_collation_id_ = collations_->itemData(index, Qt::UserRole).toLongLong();
    });
    connect(browse_file_, &QPushButton::clicked, this, &OpenDialog::browse_file);
    connect(browse_folder_, &QPushButton::clicked, this, &OpenDialog::browse_folder);
    connect(buttons, &QDialogButtonBox::accepted, this, &OpenDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OpenDialog::reject);
}

void OpenDialog::set_automatic(bool automatic) {
    automatic_ = automatic;
    auto_->setChecked(automatic);
    manual_->setChecked(!automatic);
    collations_->setEnabled(!automatic);
}

void OpenDialog::browse_file() {
    const QString start = QFileInfo(path_->currentText()).absolutePath();
    const QString file = presenter_.choose_file(this, windowTitle(), start, QStringLiteral(".mdf Files (*.mdf)"));
    if (file.isEmpty()) return;
    if (!QFileInfo::exists(file)) {
        presenter_.message_box(this, BoxIcon::kInformation, QString::fromUtf8(kApplicationTitle),
                               QStringLiteral("Please select valid mdf file."));
        return;
    }
    path_->setEditText(file);
}

void OpenDialog::browse_folder() {
    const QString folder = presenter_.choose_folder(this, QStringLiteral("Select location to save Log file(s)."),
                                                    log_folder_->text())
                               .trimmed();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) log_folder_->setText(folder);
}

void OpenDialog::accept() {
    OpenChoices choice;
    choice.mdf_path = path_->currentText().toStdString();
    choice.log_folder = log_folder_->text().toStdString();
    choice.recovery_mode = mode_->currentIndex() == 1 ? RecoveryMode::kAdvanced : RecoveryMode::kStandard;
    choice.is_sql2000 = sql2000_->isChecked();
    choice.show_deleted = deleted_->isChecked();
    choice.show_advanced_deleted = advanced_deleted_->isChecked();
    choice.keep_every_candidate = keep_every_->isChecked();
    choice.automatic_collation = automatic_;
    choice.manual_collation_id = manual_collation_id_;
    if (const auto refusal = open_choices_refusal(choice)) {
        presenter_.message_box(this, BoxIcon::kInformation, QString::fromUtf8(kApplicationTitle), qt(*refusal));
        return;
    }
    choices_ = std::move(choice);
    QDialog::accept();
}

}  // namespace quenlow::gui
