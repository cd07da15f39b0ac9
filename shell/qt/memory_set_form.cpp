#include "shell/qt/memory_set_form.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "platform/files.h"
#include "shell/qt/file_dialogs_qt.h"
#include "shell/qt/dialog_window.h"

TMemorySetForm::TMemorySetForm(TZXHardware& machine, QWidget* parent, IFileDialogs* files)
    : QDialog(parent), machine_(machine) {
  if (!files) own_files_ = std::make_unique<TQtFileDialogs>(this);
  files_ = files ? files : own_files_.get();
  open_rom_.Title = "Open ROM file";
  open_rom_.Filters = {{"ROM files", {"*.rom"}}, {"All files", {"*.*"}}};
  open_rom_.MustExist = true;
  open_rom_.InitialDir = platform::ProgramDirectory();

  setObjectName("MemorySetForm");
  setWindowTitle("Настройка памяти Spectrum");
  dialog_window::MakeToolWindow(*this, 284, 217);

  const auto label = [this](const char* text, int y, bool bold) {
    auto* l = new QLabel(text, this);
    if (bold) dialog_window::SetBold(*l);
    l->setGeometry(8, y, 268, 16);
    return l;
  };
  L1 = label("Memory model:", 4, true);
  ModelCombo = new QComboBox(this);
  dialog_window::SetBold(*ModelCombo);
  ModelCombo->setGeometry(8, 20, 268, 22);
  for (const char* item : kMemoryModelItems) ModelCombo->addItem(item);

  L4 = label("ROM set:", 46, true);
  ComboPresetROM = new QComboBox(this);
  dialog_window::SetBold(*ComboPresetROM);
  ComboPresetROM->setGeometry(8, 62, 268, 22);
  for (const TRomSetItem& item : kRomSetItems) ComboPresetROM->addItem(item.Item);

  L2 = label("ROM page::", 88, false);
  ComboROM = new QComboBox(this);
  ComboROM->setGeometry(8, 104, 140, 22);
  for (const char* slot : TZXHardware::kRomSlotNames) ComboROM->addItem(slot);
  ButtonBrowse = new QPushButton("Browse file...", this);
  ButtonBrowse->setGeometry(156, 103, 120, 24);

  L3 = label("ROM file:", 130, false);
  EditFileROM = new QLineEdit(this);
  EditFileROM->setReadOnly(true);
  EditFileROM->setBackgroundRole(QPalette::Button);
  QPalette editPalette = EditFileROM->palette();
  editPalette.setColor(QPalette::Base, editPalette.color(QPalette::Button));
  EditFileROM->setPalette(editPalette);
  EditFileROM->setGeometry(8, 146, 240, 24);
  ButtonDXUP = new QPushButton("--", this);
  ButtonDXDN = new QPushButton("+", this);
  dialog_window::SetBold(*ButtonDXUP);
  dialog_window::SetBold(*ButtonDXDN);
  ButtonDXUP->setGeometry(252, 146, 24, 12);
  ButtonDXDN->setGeometry(252, 158, 24, 12);

  ButtonReloadROMS = new QPushButton("Reload ROM's", this);
  ButtonReloadROMS->setGeometry(8, 184, 96, 25);
  ButtonCancel = new QPushButton("Cancel", this);
  ButtonCancel->setGeometry(120, 184, 75, 25);
  ButtonOK = new QPushButton("Apply", this);
  ButtonOK->setGeometry(201, 184, 75, 25);

  connect(ModelCombo, &QComboBox::activated, this, [this](int i) { ModelComboChange(i); });
  connect(ComboROM, &QComboBox::activated, this, [this](int i) { ComboROMChange(i); });
  connect(ComboPresetROM, &QComboBox::activated, this, [this](int i) { ComboPresetROMChange(i); });
  connect(ButtonBrowse, &QPushButton::clicked, this, [this] { ButtonBrowseClick(); });
  connect(ButtonDXUP, &QPushButton::clicked, this, [this] { ButtonDXUPClick(); });
  connect(ButtonDXDN, &QPushButton::clicked, this, [this] { ButtonDXDNClick(); });
  connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
  connect(ButtonReloadROMS, &QPushButton::clicked, this, [this] { ButtonReloadROMSClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
}

TMemorySetForm::~TMemorySetForm() = default;

void TMemorySetForm::ShowMemorySetForm() {
  if (isVisible()) FormShow();  // already shown: no show event comes
  dialog_window::CentreOnDesktop(*this);
  dialog_window::ShowInFront(*this);
}

void TMemorySetForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Coming back from the minimised state is no new opening.
  if (!event->spontaneous()) FormShow();
}

void TMemorySetForm::FormShow() {
  dialog_.Open(machine_);
  ShowState();
}

void TMemorySetForm::ShowState() {
  ModelCombo->setCurrentIndex(dialog_.Model());
  ComboPresetROM->setCurrentIndex(dialog_.RomSet());
  ComboROM->setCurrentIndex(dialog_.Slot());
  EditFileROM->setText(QString::fromStdString(dialog_.Spec()));
  EditFileROM->setCursorPosition(int(EditFileROM->text().size()));
  ButtonOK->setEnabled(dialog_.ApplyEnabled());
}

void TMemorySetForm::ModelComboChange(int index) {
  dialog_.ChooseModel(index);
  ShowState();
}

void TMemorySetForm::ComboROMChange(int index) {
  dialog_.ChooseSlot(index);
  ShowState();
}

void TMemorySetForm::ComboPresetROMChange(int index) {
  dialog_.ChooseRomSet(index);
  ShowState();
}

void TMemorySetForm::ButtonBrowseClick() {
  // A bare ROM name is looked up in the program's folder, so the dialog
  // starts there and shows that file.
  const std::string name = dialog_.BrowseStartName();
  open_rom_.FileName = name.empty() ? name : platform::ResolveProgramFile(name);
  if (!files_->Execute(open_rom_)) return;
  if (dialog_.Browse(open_rom_.FileName)) ShowState();
}

void TMemorySetForm::ButtonDXDNClick() {
  dialog_.AdjustRomPage(+1);
  ShowState();
}

void TMemorySetForm::ButtonDXUPClick() {
  dialog_.AdjustRomPage(-1);
  ShowState();
}

void TMemorySetForm::ButtonOKClick() {
  dialog_.Apply(machine_);
  ShowState();
}

void TMemorySetForm::ButtonReloadROMSClick() { TMemorySetDialog::Reload(machine_); }

void TMemorySetForm::ButtonCancelClick() { hide(); }
