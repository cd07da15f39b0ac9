#include "shell/qt/about_form.h"

#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>

#include "shell/about_text.h"
#include "shell/program_entry.h"
#include "shell/qt/dialog_window.h"

TAboutForm::TAboutForm(const uint64_t& clockHz, QWidget* parent) : QDialog(parent), clock_hz_(clockHz) {
  setObjectName("AboutForm");
  setWindowTitle("About");
  // A single fixed border without border icons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(441, 105);

  const auto label = [this](const char* text, int x, int y, int w, int h) {
    auto* l = new QLabel(text, this);
    dialog_window::SetBold(*l);
    l->setGeometry(x, y, w, h);
    return l;
  };
  LabelLogo = label(kAboutLogo, 8, 8, 108, 40);
  QFont logo("Comic Sans MS");
  logo.setPixelSize(24);
  logo.setBold(true);
  LabelLogo->setFont(logo);
  LabelVersion = label(kAboutVersion, 120, 6, 238, 16);
  LabelEdition = label("", 120, 22, 238, 16);
  LabelCopyrights = label("", 120, 38, 238, 16);
  LabelURL = label(kAboutUrl, 120, 56, 238, 16);
  QPalette link = LabelURL->palette();
  link.setColor(QPalette::WindowText, Qt::blue);
  LabelURL->setPalette(link);
  QFont underlined = LabelURL->font();
  underlined.setUnderline(true);
  LabelURL->setFont(underlined);
  LabelURL->setCursor(Qt::PointingHandCursor);
  LabelURL->installEventFilter(this);

  ButtonOK = new QPushButton("OK", this);
  ButtonOK->setGeometry(362, 8, 71, 25);
  connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });

  LabelCPU = new QLineEdit(this);
  LabelCPU->setReadOnly(true);
  LabelCPU->setFrame(false);
  QPalette face = LabelCPU->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  LabelCPU->setPalette(face);
  dialog_window::SetBold(*LabelCPU);
  LabelCPU->setGeometry(0, 84, 441, 21);
}

void TAboutForm::ShowAboutForm() {
  dialog_window::CentreOnDesktop(*this);
  exec();
}

void TAboutForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TAboutForm::FormShow() {
  LabelCopyrights->setText(QString::fromStdString(AboutCopyrights()));
  LabelEdition->setText(QString::fromStdString(AboutEditionLine()));
  const std::string separator = QLocale().decimalPoint().toStdString();
  LabelCPU->setText(QString::fromStdString(AboutCpuLine(ProgramEntry().CPUName, clock_hz_, separator)));
  LabelCPU->setCursorPosition(0);
}

void TAboutForm::ButtonOKClick() { accept(); }

void TAboutForm::LabelURLClick() { QDesktopServices::openUrl(QUrl(kAboutUrl)); }

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LabelURL && event->type() == QEvent::MouseButtonRelease) {
    LabelURLClick();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}
