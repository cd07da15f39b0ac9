// The termination signals reach the GUI thread's close, each once, and a
// second signal while the first is being handled ends the process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <memory>

#include "platform/qt/termination_signals.h"

namespace {

using platform::qt::TerminationSignals;

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "platform_layer_tests";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// Lets the event loop run until `done` holds or about `rounds` x 5 ms pass.
template <typename Pred>
bool ProcessUntil(Pred done, int rounds = 400) {
  for (int i = 0; i < rounds && !done(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(5);
  }
  return done();
}

// Each signal's own action for the lifetime of the guard (a job started in
// the background begins with SIGINT ignored).
class DefaultActions {
 public:
  DefaultActions() {
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    for (size_t i = 0; i < kCount; ++i) sigaction(TerminationSignals::kSignals[i], &plain, &saved_[i]);
  }
  ~DefaultActions() {
    for (size_t i = 0; i < kCount; ++i) sigaction(TerminationSignals::kSignals[i], &saved_[i], nullptr);
  }

 private:
  static constexpr size_t kCount = TerminationSignals::kSignals.size();
  struct sigaction saved_[kCount] = {};
};

TEST(TerminationSignals, EachSignalTakesTheCloseWay) {
  EnsureApplication();
  DefaultActions actions;
  int closes = 0;
  bool ending = false;
  {
    TerminationSignals handler([&] {
      ++closes;
      return ending;
    });
    for (int number : TerminationSignals::kSignals) {
      SCOPED_TRACE(number);
      const int before = closes;
      // The program goes on (a disk's changes kept): the next signal is
      // handled the same way again.
      ASSERT_EQ(raise(number), 0);
      EXPECT_TRUE(ProcessUntil([&] { return closes == before + 1; }));
      ProcessUntil([] { return false; }, 40);
      EXPECT_EQ(closes, before + 1);
    }
  }
  // The handlers that were there before come back.
  for (int number : TerminationSignals::kSignals) {
    struct sigaction now {};
    sigaction(number, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << number;
  }
  // One ignored from the start stays ignored.
  signal(SIGHUP, SIG_IGN);
  {
    TerminationSignals handler([&] { return ++closes, true; });
    const int before = closes;
    ASSERT_EQ(raise(SIGHUP), 0);
    ProcessUntil([] { return false; }, 40);
    EXPECT_EQ(closes, before);
  }
}

TEST(TerminationSignalsDeathTest, ASecondSignalWhileTheFirstIsHandledEndsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto secondDuringFirst = [](int first, int second) {
    EnsureApplication();
    DefaultActions actions;
    int closes = 0;
    TerminationSignals handler([&] {
      ++closes;
      raise(second);  // as if the user pressed Ctrl+C again meanwhile
      return true;
    });
    raise(first);
    ProcessUntil([&] { return closes > 0; });
    _exit(closes == 1 ? 3 : 4);  // reached only when the second did not end it
  };
  EXPECT_EXIT(secondDuringFirst(SIGINT, SIGINT), testing::KilledBySignal(SIGINT), "");
  EXPECT_EXIT(secondDuringFirst(SIGTERM, SIGHUP), testing::KilledBySignal(SIGHUP), "");
}

}  // namespace
