#include "platform/qt/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <utility>

namespace platform::qt {

namespace {

// The pipe's ends and whether a signal is being handled, shared with the
// handler: only lock-free atomics and plain descriptors.
int g_read_end = -1;
int g_write_end = -1;
std::atomic<bool> g_handling{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnSignal(int number) {
  if (g_handling.exchange(true)) {
    // The program is already on its way out and this one will not wait:
    // the signal's own action ends it once this handler returns.
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigaction(number, &plain, nullptr);
    raise(number);
    return;
  }
  const int saved = errno;
  const char byte = static_cast<char>(number);
  [[maybe_unused]] const ssize_t written = write(g_write_end, &byte, 1);
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> close, QObject* parent)
    : QObject(parent), close_(std::move(close)) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals keep their own actions
  g_read_end = ends[0];
  g_write_end = ends[1];
  g_handling = false;
  notifier_ = new QSocketNotifier(g_read_end, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::Woken);

  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int s : kSignals) sigaddset(&action.sa_mask, s);
  for (size_t i = 0; i < kSignals.size(); ++i) {
    sigaction(kSignals[i], nullptr, &previous_[i]);
    // A signal ignored from the start stays ignored (nohup, a background job).
    if (previous_[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &action, nullptr);
  }
}

TerminationSignals::~TerminationSignals() {
  if (!notifier_) return;
  for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  delete notifier_;
  ::close(g_read_end);
  ::close(g_write_end);
  g_read_end = g_write_end = -1;
}

void TerminationSignals::Woken() {
  char bytes[16];
  ssize_t got;
  while ((got = read(g_read_end, bytes, sizeof bytes)) > 0) ending_ = bytes[got - 1];
  // The request stays handled until its way out is declined: QWidget::close()
  // joining a close already under way answers at once, long before the
  // user's answer decides whether the program ends.
  close_();
}

void TerminationSignals::Declined() {
  ending_ = 0;
  g_handling = false;
}

void TerminationSignals::EndBy(int number) {
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  sigaction(number, &plain, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, number);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(number);
  _exit(128 + number);  // not reached for a signal whose action ends the process
}

}  // namespace platform::qt
