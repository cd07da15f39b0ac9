#include "platform/qt/lost_display.h"

#include <QtGlobal>
#include <atomic>
#include <cstdlib>
#include <utility>

namespace platform::qt {

namespace {

std::function<void()> g_write_back;
std::atomic<bool> g_armed{false};
QtMessageHandler g_previous = nullptr;

void WriteBackOnce() {
  if (g_armed.exchange(false)) g_write_back();
}

void OnMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  // The abort follows once the handlers have returned.
  if (type == QtFatalMsg) WriteBackOnce();
  g_previous(type, context, text);
}

}  // namespace

LostDisplayWriteBack::LostDisplayWriteBack(std::function<void()> writeBack) {
  g_write_back = std::move(writeBack);
  g_previous = qInstallMessageHandler(OnMessage);
  static const bool registered = std::atexit(WriteBackOnce) == 0;
  g_armed = registered;
}

LostDisplayWriteBack::~LostDisplayWriteBack() {
  g_armed = false;
  qInstallMessageHandler(g_previous);
  g_write_back = nullptr;
}

}  // namespace platform::qt
