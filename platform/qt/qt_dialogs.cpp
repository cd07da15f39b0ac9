#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QThread>

namespace platform::qt {

namespace {

// Room a window manager takes from the title bar for its icon and buttons.
constexpr int kTitleBarButtonsWidth = 120;

QMessageBox::StandardButton ToStandard(MsgResult button) {
  switch (button) {
    case MsgResult::Cancel: return QMessageBox::Cancel;
    case MsgResult::Yes: return QMessageBox::Yes;
    case MsgResult::No: return QMessageBox::No;
    case MsgResult::Ok: break;
  }
  return QMessageBox::Ok;
}

MsgResult ShowBox(const QString& caption, const QString& text, MsgButtons buttons, MsgIcon icon,
                  MsgResult defaultButton) {
  QMessageBox box;
  box.setWindowTitle(caption);
  box.setText(text);
  switch (icon) {
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MsgIcon::None: break;
  }
  QMessageBox::StandardButtons set;
  switch (buttons) {
    case MsgButtons::Ok: set = QMessageBox::Ok; break;
    case MsgButtons::OkCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MsgButtons::YesNo: set = QMessageBox::Yes | QMessageBox::No; break;
    case MsgButtons::YesNoCancel: set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
  }
  box.setStandardButtons(set);
  // Named every time: left to itself the toolkit would choose by the
  // buttons' roles and layout.
  box.setDefaultButton(ToStandard(DefaultButton(buttons, defaultButton)));
  switch (box.exec()) {
    case QMessageBox::Cancel: return MsgResult::Cancel;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    case QMessageBox::Ok: return MsgResult::Ok;
    default:
      // Closed with Escape or the title bar.
      return (buttons == MsgButtons::YesNo) ? MsgResult::No : MsgResult::Cancel;
  }
}

}  // namespace

MsgResult QtDialogs::Message(std::string_view caption, std::string_view text, MsgButtons buttons,
                             MsgIcon icon, MsgResult defaultButton) {
  const QString qcaption = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return StderrDialogs().Message(caption, text, buttons, icon, defaultButton);
  if (QThread::currentThread() == app->thread()) return ShowBox(qcaption, qtext, buttons, icon, defaultButton);
  // Another thread: the box is a GUI object and runs on the GUI thread. A
  // plain message is posted without waiting, because the GUI thread may be
  // waiting for this very thread (stopping the processor); only a question
  // waits for its answer.
  if (buttons == MsgButtons::Ok) {
    QMetaObject::invokeMethod(
        app, [=] { ShowBox(qcaption, qtext, buttons, icon, defaultButton); }, Qt::QueuedConnection);
    return MsgResult::Ok;
  }
  MsgResult result = MsgResult::Ok;
  QMetaObject::invokeMethod(
      app, [&] { result = ShowBox(qcaption, qtext, buttons, icon, defaultButton); }, Qt::BlockingQueuedConnection);
  return result;
}

bool QtDialogs::InputQuery(std::string_view caption, std::string_view prompt, std::string& text) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return Dialogs::InputQuery(caption, prompt, text);
  auto ask = [&] {
    QInputDialog dialog;
    dialog.setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    dialog.setLabelText(QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size())));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(QString::fromStdString(text));
    // Wide enough for the whole caption beside the title bar's buttons: the
    // dialog sizes itself to its layout, so the edit line sets the width.
    const int captionWidth = dialog.fontMetrics().horizontalAdvance(dialog.windowTitle());
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMinimumWidth(captionWidth + kTitleBarButtonsWidth);
    if (dialog.exec() != QDialog::Accepted) return false;
    text = dialog.textValue().toStdString();
    return true;
  };
  if (QThread::currentThread() == app->thread()) return ask();
  bool accepted = false;
  QMetaObject::invokeMethod(app, [&] { accepted = ask(); }, Qt::BlockingQueuedConnection);
  return accepted;
}

bool QtDialogs::SaveFileName(const SaveFileRequest& request, std::string& fileName) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return Dialogs::SaveFileName(request, fileName);
  auto ask = [&] {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.Title),
                       QFile::decodeName(QByteArray::fromStdString(request.InitialDir)));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.ConfirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters;
    for (const auto& [label, pattern] : request.Filters)
      filters << QString::fromStdString(label + " (" + pattern + ")");
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QString::fromStdString(request.DefaultExt));
    dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(fileName)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    fileName = QFile::encodeName(dialog.selectedFiles().front()).toStdString();
    return true;
  };
  if (QThread::currentThread() == app->thread()) return ask();
  bool accepted = false;
  QMetaObject::invokeMethod(app, [&] { accepted = ask(); }, Qt::BlockingQueuedConnection);
  return accepted;
}

}  // namespace platform::qt
