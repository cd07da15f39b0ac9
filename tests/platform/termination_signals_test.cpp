// The termination signals reach the GUI thread's close, each once; a second
// signal while the first is being handled ends the process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>

#include "platform/qt/termination_signals.h"

namespace {

using platform::qt::TerminationSignals;

// Sets every termination signal to its own action (a job started in the
// background begins with SIGINT ignored) and makes sure of an event loop.
void PlainStart() {
  static int argc = 1;
  static char name[] = "platform_layer_tests";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  for (int number : TerminationSignals::kSignals) signal(number, SIG_DFL);
}

// Runs the event loop until `done` holds or `rounds` x 5 ms have passed.
template <typename Pred>
bool ProcessUntil(Pred done, int rounds = 400) {
  for (int i = 0; i < rounds && !done(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(5);
  }
  return done();
}

TEST(TerminationSignals, EachSignalTakesTheCloseWay) {
  PlainStart();
  int closes = 0;
  {
    // The program goes on each time (a disk's changes kept): the next
    // signal is handled the same way again.
    TerminationSignals handler([&] { return ++closes, false; });
    for (int number : TerminationSignals::kSignals) {
      SCOPED_TRACE(number);
      const int before = closes;
      ASSERT_EQ(raise(number), 0);
      EXPECT_TRUE(ProcessUntil([&] { return closes == before + 1; }));
      ProcessUntil([] { return false; }, 40);
      EXPECT_EQ(closes, before + 1);
    }
  }
  // The actions from before come back; one ignored from the start stays so.
  struct sigaction now {};
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
  signal(SIGHUP, SIG_IGN);
  {
    TerminationSignals handler([&] { return ++closes, true; });
    ASSERT_EQ(raise(SIGHUP), 0);
    ProcessUntil([] { return false; }, 40);
  }
  EXPECT_EQ(closes, 3);
  signal(SIGHUP, SIG_DFL);
}

TEST(TerminationSignalsDeathTest, ASecondSignalWhileTheFirstIsHandledEndsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto secondDuringFirst = [](int first, int second) {
    PlainStart();
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
