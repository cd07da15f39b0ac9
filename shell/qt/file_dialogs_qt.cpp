#include "shell/qt/file_dialogs_qt.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>

namespace {

QString FromName(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }
std::string ToName(const QString& name) { return QFile::encodeName(name).toStdString(); }

}  // namespace

class TQtFileDialogs::Dialog final : public QFileDialog {
 public:
  Dialog(TFileDialog& description, QWidget* parent) : QFileDialog(parent), description_(&description) {
    setOption(QFileDialog::DontUseNativeDialog);
    const bool save = description.DialogKind == TFileDialog::Kind::Save;
    setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The commands ask about replacing a file themselves.
    if (save) setOption(QFileDialog::DontConfirmOverwrite);
    if (description.AllowMultiple)
      setFileMode(QFileDialog::ExistingFiles);
    else if (description.MustExist)
      setFileMode(QFileDialog::ExistingFile);
    else
      setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const TFileFilter& f : description.Filters) filters << QString::fromStdString(f.Text());
    setNameFilters(filters);
    setDirectory(FromName(description.InitialDir));

    readOnly_ = new QCheckBox(QStringLiteral("Open as read-only"), this);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
      grid->addWidget(readOnly_, grid->rowCount(), 0, 1, grid->columnCount());
    readOnly_->setVisible(description.ShowReadOnly);

    connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
      description_->FilterIndex = static_cast<int>(nameFilters().indexOf(filter)) + 1;
      if (description_->TypeChange) {
        description_->TypeChange(*description_);
        setDefaultSuffix(QString::fromStdString(description_->DefaultExt));
      }
    });
  }

  void Prepare() {
    TFileDialog& d = *description_;
    setWindowTitle(QString::fromStdString(d.Title));
    const QStringList filters = nameFilters();
    if (d.FilterIndex >= 1 && d.FilterIndex <= filters.size()) selectNameFilter(filters[d.FilterIndex - 1]);
    setDefaultSuffix(QString::fromStdString(d.DefaultExt));
    if (!d.FileName.empty()) {
      selectFile(FromName(d.FileName));
    } else if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
      // No name to propose (an empty drive): not the last one either.
      edit->clear();
    }
    readOnly_->setChecked(d.ReadOnly);
    chosen_.clear();
  }

  QCheckBox& ReadOnlyBox() { return *readOnly_; }
  const QStringList& Chosen() const { return chosen_; }

  void accept() override {
    const QStringList files = selectedFiles();
    if (files.isEmpty()) return;
    // A directory is entered, as the dialog itself does.
    if (files.size() == 1 && QFileInfo(files.front()).isDir()) {
      QFileDialog::accept();
      return;
    }
    std::vector<std::string> names;
    for (const QString& f : files) names.push_back(ToName(f));
    if (description_->CanClose && !description_->CanClose(names)) return;
    chosen_ = files;
    // Names that need not exist yet (a disk to be created) close the dialog
    // here; where they must exist, the dialog checks them first.
    if (description_->MustExist || description_->DialogKind == TFileDialog::Kind::Save)
      QFileDialog::accept();
    else
      QDialog::accept();
  }

 private:
  TFileDialog* description_;
  QCheckBox* readOnly_ = nullptr;
  QStringList chosen_;
};

TQtFileDialogs::TQtFileDialogs(QWidget* parent) : parent_(parent) {}
TQtFileDialogs::~TQtFileDialogs() = default;

QFileDialog& TQtFileDialogs::Prepare(TFileDialog& description) {
  auto& slot = dialogs_[&description];
  if (!slot) slot = std::make_unique<Dialog>(description, parent_);
  slot->Prepare();
  return *slot;
}

QCheckBox& TQtFileDialogs::ReadOnlyBox(const TFileDialog& description) {
  return dialogs_.at(&description)->ReadOnlyBox();
}

bool TQtFileDialogs::Execute(TFileDialog& description) {
  Prepare(description);
  Dialog& dialog = *dialogs_.at(&description);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList files = dialog.Chosen().isEmpty() ? dialog.selectedFiles() : dialog.Chosen();
  if (files.isEmpty()) return false;
  description.Files.clear();
  for (const QString& f : files) description.Files.push_back(ToName(f));
  description.FileName = description.Files.front();
  description.FilterIndex = static_cast<int>(dialog.nameFilters().indexOf(dialog.selectedNameFilter())) + 1;
  description.ReadOnly = dialog.ReadOnlyBox().isChecked();
  return true;
}

TShellFiles::TShellFiles(TZXHardware& machine, QWidget* parent, TScreenModeHooks screen)
    : Machine(machine), Dialogs(parent), Commands(Machine, Dialogs, std::move(screen)) {}
