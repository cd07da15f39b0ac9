// The file associations window: one box per extension and "Next>>", which
// registers the ticked ones with the desktop (see file_associations.h).
#pragma once

#include <QDialog>
#include <array>

#include "shell/file_associations.h"

class QCheckBox;
class QLabel;
class QPushButton;

class TFormRegistry final : public QDialog {
  Q_OBJECT

 public:
  explicit TFormRegistry(QWidget* parent = nullptr);

  // From the menu: shown without waiting.
  void ShowFormRegistry();
  // The first run: shown and waited for.
  void ShowFormRegistryModal();

  // The ticks by row of kAssociationRows.
  TAssociationTicks Ticks() const;

  QLabel* Label1 = nullptr;
  std::array<QCheckBox*, 13> Boxes{};  // by row of kAssociationRows
  QPushButton* ButtonCancel = nullptr;
  QPushButton* ButtonOK = nullptr;

  void ButtonOKClick();
  void ButtonCancelClick();
};
