// SIGINT, SIGTERM and SIGHUP (Ctrl+C, the end of the desktop session, a
// closed terminal) end the program the way closing its main window does, so
// that what the window writes on its way out is written. The handler only
// wakes the GUI thread through a pipe; a second signal while the first is
// being handled ends the program at once.
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

  // `close` runs on the GUI thread for a signal: true when the program is
  // ending; false when it goes on, and the next signal is handled alike.
  // One instance at a time: the handlers are the process's. A signal that
  // was ignored when the program started stays ignored.
  explicit TerminationSignals(std::function<bool()> close, QObject* parent = nullptr);
  // Puts the handlers that were there before back.
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  void Woken();

  std::function<bool()> close_;
  QSocketNotifier* notifier_ = nullptr;
  std::array<struct sigaction, kSignals.size()> previous_{};
};

}  // namespace platform::qt
