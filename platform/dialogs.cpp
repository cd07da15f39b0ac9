#include "platform/dialogs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/files.h"

namespace platform {

MsgResult DefaultButton(MsgButtons buttons, std::optional<MsgResult> named) {
  const bool yesNo = buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel;
  const bool cancel = buttons == MsgButtons::OkCancel || buttons == MsgButtons::YesNoCancel;
  const MsgResult first = yesNo ? MsgResult::Yes : MsgResult::Ok;
  if (!named) return first;
  switch (*named) {
    case MsgResult::Ok: return yesNo ? first : *named;
    case MsgResult::Cancel: return cancel ? *named : first;
    case MsgResult::Yes:
    case MsgResult::No: return yesNo ? *named : first;
  }
  return first;
}

MsgResult StderrDialogs::Message(std::string_view caption, std::string_view text,
                                 MsgButtons buttons, MsgIcon, MsgResult defaultButton) {
  std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  return DefaultButton(buttons, defaultButton);
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

std::string ShortenForMessage(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  const auto continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
  const size_t keep = (max_bytes > 3 ? max_bytes - 3 : 0) / 2;
  size_t head = keep;
  while (head > 0 && continuation(text[head])) --head;
  size_t tail = text.size() - keep;
  while (tail < text.size() && continuation(text[tail])) ++tail;
  return std::string(text.substr(0, head)) + "..." + std::string(text.substr(tail));
}

std::string LimitLineLengths(std::string_view text) {
  std::string out;
  out.reserve(std::min(text.size(), size_t{4096}));
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    out += ShortenForMessage(text.substr(start, end == std::string_view::npos ? end : end - start),
                             kMessageLineBytes);
    if (end == std::string_view::npos) break;
    out += '\n';
    start = end + 1;
  }
  return out;
}

void ReportOnStderr(std::string_view fileName, std::string_view text) {
  std::fprintf(stderr, "%s: %.*s: %.*s\n", program_invocation_short_name, static_cast<int>(fileName.size()),
               fileName.data(), static_cast<int>(text.size()), text.data());
}

bool ConfirmOverwrite(const std::string& fileName) {
  return !FileExists(fileName) ||
         ShowMessage("Warning", "File exists!   Overwrite?", MsgButtons::OkCancel, MsgIcon::Warning,
                     MsgResult::Cancel) == MsgResult::Ok;
}

Dialogs* SetDialogs(Dialogs* dialogs) { return g_current.exchange(dialogs, std::memory_order_acq_rel); }

}  // namespace platform
