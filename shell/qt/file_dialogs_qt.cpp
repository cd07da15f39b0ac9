#include "shell/qt/file_dialogs_qt.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>

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

    // The toolkit greys the accept button for a name it does not list (one
    // to be created, one hidden by the filter) while Enter still takes it:
    // the button is given back whenever Enter would accept.
    if (QPushButton* button = AcceptButton()) button->installEventFilter(this);
    if (QLineEdit* edit = NameLine())
      connect(edit, &QLineEdit::textChanged, this, &Dialog::FollowEnterLater);
    // The name line's completion list is a window of its own: it goes with
    // the dialog, also when the folder's listing arrives after the dialog
    // has closed and the completer shows its matches then.
    if (QAbstractItemView* popup = CompletionList()) popup->installEventFilter(this);

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
    ClearSelection();
    if (!d.FileName.empty()) {
      ProposeName(FromName(d.FileName));
    } else if (QLineEdit* edit = NameLine()) {
      // No name to propose (an empty drive): not the last one either.
      edit->clear();
    }
    readOnly_->setChecked(d.ReadOnly);
    chosen_.clear();
  }

  // The toolkit proposes a name in a folder that has gone (a removed stick)
  // relative to the folder it shows, so Enter would take it somewhere else:
  // the name is proposed whole, in the nearest folder that is still there.
  void ProposeName(const QString& name) {
    const QFileInfo info(name);
    if (info.absoluteDir().exists()) {
      selectFile(name);
      return;
    }
    QString folder = info.absolutePath();
    while (!QDir(folder).exists()) {
      const QString up = QFileInfo(folder).path();
      if (up == folder) break;
      folder = up;
    }
    setDirectory(folder);
    if (QLineEdit* edit = NameLine()) edit->setText(info.absoluteFilePath());
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

 protected:
  void done(int result) override {
    QFileDialog::done(result);
    if (QAbstractItemView* popup = CompletionList()) popup->hide();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    QPushButton* button = AcceptButton();
    if (watched == button && event->type() == QEvent::EnabledChange && !button->isEnabled()) {
      FollowEnterLater();
    } else if (watched == CompletionList() && event->type() == QEvent::Show && !isVisible()) {
      QMetaObject::invokeMethod(static_cast<QWidget*>(watched), &QWidget::hide, Qt::QueuedConnection);
    }
    return QFileDialog::eventFilter(watched, event);
  }

 private:
  // After the toolkit has set the button by its own rule.
  void FollowEnterLater() {
    QMetaObject::invokeMethod(
        this,
        [this] {
          QPushButton* button = AcceptButton();
          if (button && !button->isEnabled() && EnterAccepts()) button->setEnabled(true);
        },
        Qt::QueuedConnection);
  }

  // Whether accept() would close the dialog with the typed names: any name
  // where it need not exist, else names of files that exist.
  bool EnterAccepts() const {
    const QLineEdit* edit = NameLine();
    if (!edit || edit->text().trimmed().isEmpty()) return false;
    const QStringList files = selectedFiles();
    if (files.isEmpty()) return false;
    for (const QString& f : files) {
      const QFileInfo info(f);
      if (info.isDir()) return false;  // the dialog's own business
      if (description_->MustExist && !info.exists()) return false;
    }
    return true;
  }

  // The files chosen at the last showing, refused or not, are not chosen
  // again: only the name proposed now is.
  void ClearSelection() {
    if (auto* list = findChild<QAbstractItemView*>(QStringLiteral("listView")))
      if (QItemSelectionModel* selection = list->selectionModel()) selection->clearSelection();
  }

  QLineEdit* NameLine() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }
  QAbstractItemView* CompletionList() const {
    const QLineEdit* edit = NameLine();
    return edit && edit->completer() ? edit->completer()->popup() : nullptr;
  }
  QPushButton* AcceptButton() const {
    auto* box = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (!box) return nullptr;
    return box->button(acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save : QDialogButtonBox::Open);
  }

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
