#include "shell/qt/form_registry.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "shell/qt/dialog_window.h"

TFormRegistry::TFormRegistry(QWidget* parent) : QDialog(parent) {
  setObjectName("FormRegistry");
  setWindowTitle("File associations");
  dialog_window::MakeToolWindow(*this, 180, 343);

  Label1 = new QLabel("Select extensions for association with OVRIN", this);
  dialog_window::SetBold(*Label1);
  Label1->setWordWrap(true);
  Label1->setGeometry(8, 6, 164, 34);

  const TAssociationTicks ticks = DefaultAssociationTicks();
  for (size_t place = 0; place < kAssociationBoxOrder.size(); ++place) {
    const size_t row = size_t(kAssociationBoxOrder[place]);
    auto* box = new QCheckBox(kAssociationRows[row].Caption, this);
    box->setObjectName(QString("Check") + kAssociationRows[row].ReportName);
    box->setGeometry(16, 44 + int(place) * 20, 156, 18);
    box->setChecked(ticks[row]);
    box->setEnabled(int(row) != kDisabledAssociationRow);
    Boxes[row] = box;
  }

  ButtonCancel = new QPushButton("Cancel", this);
  ButtonOK = new QPushButton("Next>>", this);
  dialog_window::SetBold(*ButtonCancel);
  dialog_window::SetBold(*ButtonOK);
  ButtonCancel->setGeometry(8, 310, 78, 25);
  ButtonOK->setGeometry(94, 310, 78, 25);
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
  connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
}

void TFormRegistry::ShowFormRegistry() { dialog_window::ShowInFront(*this); }

void TFormRegistry::ShowFormRegistryModal() { exec(); }

TAssociationTicks TFormRegistry::Ticks() const {
  TAssociationTicks ticks{};
  for (size_t row = 0; row < ticks.size(); ++row) ticks[row] = Boxes[row]->isChecked();
  return ticks;
}

void TFormRegistry::ButtonOKClick() {
  // A failed write is reported and the window stays open.
  RegisterAssociations(Ticks(), ProgramPath(), CurrentXdgDirs(), [this] { accept(); });
}

void TFormRegistry::ButtonCancelClick() { reject(); }
