#include "platform/dialogs.h"

#include <atomic>
#include <cstdio>

namespace platform {

MsgResult StderrDialogs::Message(std::string_view caption, std::string_view text,
                                 MsgButtons buttons, MsgIcon) {
  std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
      return MsgResult::Yes;
    default:
      return MsgResult::Ok;
  }
}

bool Dialogs::InputQuery(std::string_view caption, std::string_view prompt, std::string& text) {
  std::fprintf(stderr, "[%.*s] %.*s %s (cancelled)\n", static_cast<int>(caption.size()),
               caption.data(), static_cast<int>(prompt.size()), prompt.data(), text.c_str());
  return false;
}

bool Dialogs::SaveFileName(const SaveFileRequest& request, std::string& fileName) {
  std::fprintf(stderr, "[%s] %s (cancelled)\n", request.Title.c_str(), fileName.c_str());
  return false;
}

namespace {
StderrDialogs g_stderr;
std::atomic<Dialogs*> g_current{nullptr};
}  // namespace

Dialogs& CurrentDialogs() {
  Dialogs* d = g_current.load(std::memory_order_acquire);
  return d ? *d : g_stderr;
}

Dialogs* SetDialogs(Dialogs* dialogs) { return g_current.exchange(dialogs, std::memory_order_acq_rel); }

}  // namespace platform
