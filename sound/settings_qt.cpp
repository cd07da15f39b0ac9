#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>

#include "sound/settings.h"

namespace kelvora {

namespace {
const char kGroup[] = "Kelvora";
const char kVolumeKey[] = "Volume";
const char kStereoKey[] = "Stereo";

QString FilePath() { return QString::fromStdString(SettingsFilePath()); }
}  // namespace

KelvoraSettings LoadSettings() {
  KelvoraSettings s;
  QSettings file(FilePath(), QSettings::IniFormat);
  file.beginGroup(kGroup);
  bool ok = false;
  const int volume = file.value(kVolumeKey, s.volume).toInt(&ok);
  if (ok && volume >= 0 && volume <= 100) s.volume = volume;
  const int stereo = file.value(kStereoKey, static_cast<int>(s.stereo)).toInt(&ok);
  if (ok && (stereo == 0 || stereo == 1)) s.stereo = static_cast<StereoMode>(stereo);
  return s;
}

bool SaveSettings(const KelvoraSettings& s) {
  QSettings file(FilePath(), QSettings::IniFormat);
  file.beginGroup(kGroup);
  file.setValue(kVolumeKey, s.volume);
  file.setValue(kStereoKey, static_cast<int>(s.stereo));
  file.endGroup();
  file.sync();
  return file.status() == QSettings::NoError;
}

bool EditSettings(KelvoraSettings& s) {
  // A host without a QApplication (headless, tests) gets no dialog.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;

  QDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle("Sound settings");
  auto* volume = new QSlider(Qt::Horizontal);
  volume->setRange(0, 100);
  volume->setValue(s.volume);
  auto* volumeBox = new QSpinBox;
  volumeBox->setRange(0, 100);
  volumeBox->setSuffix(" %");
  volumeBox->setValue(s.volume);
  QObject::connect(volume, &QSlider::valueChanged, volumeBox, &QSpinBox::setValue);
  QObject::connect(volumeBox, &QSpinBox::valueChanged, volume, &QSlider::setValue);
  auto* volumeRow = new QHBoxLayout;
  volumeRow->addWidget(volume);
  volumeRow->addWidget(volumeBox);
  auto* stereo = new QComboBox;
  stereo->addItem("Mono");
  stereo->addItem("ABC stereo");
  stereo->setCurrentIndex(s.stereo == StereoMode::kABC ? 1 : 0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* form = new QFormLayout(&dialog);
  form->addRow("Volume", volumeRow);
  form->addRow("Stereo", stereo);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return false;

  s.volume = volume->value();
  s.stereo = stereo->currentIndex() == 1 ? StereoMode::kABC : StereoMode::kMono;
  if (!SaveSettings(s))
    QMessageBox::warning(&dialog, "Sound settings",
                         "The sound settings could not be saved to " + FilePath() + ".");
  return true;
}

}  // namespace kelvora
