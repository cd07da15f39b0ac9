// The about box: the program's name, version, copyright and build date, the
// web page as a link and the host processor with its measured clock.
#pragma once

#include <QDialog>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

class TAboutForm final : public QDialog {
  Q_OBJECT

 public:
  // clockHz: where the measured host clock is read at each showing.
  explicit TAboutForm(const uint64_t& clockHz, QWidget* parent = nullptr);

  // The menu command: shown and waited for.
  void ShowAboutForm();

  QLabel* LabelLogo = nullptr;
  QLabel* LabelVersion = nullptr;
  QLabel* LabelEdition = nullptr;
  QLabel* LabelCopyrights = nullptr;
  QLabel* LabelURL = nullptr;
  QPushButton* ButtonOK = nullptr;
  QLineEdit* LabelCPU = nullptr;

  void FormShow();
  void ButtonOKClick();
  void LabelURLClick();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const uint64_t& clock_hz_;
};
