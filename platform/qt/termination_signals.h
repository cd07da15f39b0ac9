// SIGINT, SIGTERM and SIGHUP (Ctrl+C, the end of the desktop session, a
// closed terminal) end the program the way closing its main window does, so
// that what the window writes on its way out is written. The handler only
// wakes the GUI thread through a pipe; a second signal while the first is
// being handled ends the program at once. A run that a signal ended ends by
// that signal, so that a shell or a service manager sees why.
#pragma once

#include <QObject>
#include <array>
#include <csignal>
#include <functional>

class QSocketNotifier;

namespace platform::qt {

class TerminationSignals final : public QObject {
 public:
  static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

  // `close` runs on the GUI thread for a signal and takes the program's way
  // out, or joins one already under way (an exit question open). Until that
  // way out is Declined(), a further signal ends the program at once.
  // One instance at a time: the handlers are the process's. A signal that
  // was ignored when the program started stays ignored.
  explicit TerminationSignals(std::function<void()> close, QObject* parent = nullptr);
  // Puts the handlers that were there before back.
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // The way out was declined (the user kept a disk's changes) and the
  // program goes on: the next signal takes the way out again.
  void Declined();
  // The signal whose way out was taken and not declined; 0 when none.
  int Ending() const { return ending_; }
  // Ends the process as the signal's own action does: a shell sees status
  // 128 + number.
  [[noreturn]] static void EndBy(int number);

 private:
  void Woken();

  std::function<void()> close_;
  int ending_ = 0;
  QSocketNotifier* notifier_ = nullptr;
  std::array<struct sigaction, kSignals.size()> previous_{};
};

}  // namespace platform::qt
