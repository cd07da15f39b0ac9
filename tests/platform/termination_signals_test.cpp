// The termination signals reach the GUI thread's close, each once; a second
// signal while the first is being handled ends the process, and so does the
// signal itself once its way out is done. The toolkit's own ends write back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "platform/qt/lost_display.h"
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

TEST(TerminationSignals, EachSignalTakesTheCloseWayUntilItEnds) {
  PlainStart();
  int closes = 0;
  {
    TerminationSignals handler([&] { ++closes; });
    for (int number : TerminationSignals::kSignals) {
      SCOPED_TRACE(number);
      const int before = closes;
      ASSERT_EQ(raise(number), 0);
      EXPECT_TRUE(ProcessUntil([&] { return closes == before + 1; }));
      ProcessUntil([] { return false; }, 40);
      EXPECT_EQ(closes, before + 1);
      EXPECT_EQ(handler.Ending(), number);
      // The window declined (a disk's changes kept): the next signal is
      // handled the same way again.
      handler.Declined();
      EXPECT_EQ(handler.Ending(), 0);
    }
  }
  // The actions from before come back; one ignored from the start stays so.
  struct sigaction now {};
  sigaction(SIGTERM, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
  signal(SIGHUP, SIG_IGN);
  {
    TerminationSignals handler([&] { ++closes; });
    ASSERT_EQ(raise(SIGHUP), 0);
    ProcessUntil([] { return false; }, 40);
    EXPECT_EQ(handler.Ending(), 0);
  }
  EXPECT_EQ(closes, 3);
  signal(SIGHUP, SIG_DFL);
}

TEST(TerminationSignalsDeathTest, ASecondSignalBeforeTheWayOutIsDeclinedEndsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto secondDuringFirst = [](int first, int second) {
    PlainStart();
    int closes = 0;
    TerminationSignals handler([&] { ++closes; });
    raise(first);
    ProcessUntil([&] { return closes > 0; });
    // The way out returned without being declined (it joined a close whose
    // question is still open): the request is still being handled.
    raise(second);
    _exit(closes == 1 ? 3 : 4);  // reached only when the second did not end it
  };
  EXPECT_EXIT(secondDuringFirst(SIGINT, SIGINT), testing::KilledBySignal(SIGINT), "");
  EXPECT_EXIT(secondDuringFirst(SIGTERM, SIGHUP), testing::KilledBySignal(SIGHUP), "");
}

TEST(TerminationSignalsDeathTest, TheRunEndsByItsSignal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int number : TerminationSignals::kSignals) {
    // Blocked and handled as during the run: the end still comes.
    const auto end = [number] {
      PlainStart();
      TerminationSignals handler([] {});
      sigset_t only;
      sigemptyset(&only);
      sigaddset(&only, number);
      pthread_sigmask(SIG_BLOCK, &only, nullptr);
      TerminationSignals::EndBy(number);
    };
    EXPECT_EXIT(end(), testing::KilledBySignal(number), "") << number;
  }
}

// The toolkit ends the process on a lost display from inside its loop; the
// write-back runs first, once, and not at all for a run that went through
// main's own end.
TEST(LostDisplayDeathTest, TheToolkitsEndWritesBackFirst) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto armedThen = [](void (*end)()) {
    static int writes = 0;
    platform::qt::LostDisplayWriteBack armed([] { std::fprintf(stderr, "written %d\n", ++writes); });
    end();
  };
  EXPECT_EXIT(armedThen([] { std::exit(1); }), testing::ExitedWithCode(1), "^written 1\n$");
  EXPECT_EXIT(armedThen([] { qFatal("display gone"); }), testing::KilledBySignal(SIGABRT),
              "^written 1\n.*display gone");
  const auto disarmedThen = [] {
    { platform::qt::LostDisplayWriteBack armed([] { std::fprintf(stderr, "written\n"); }); }
    std::exit(1);
  };
  EXPECT_EXIT(disarmedThen(), testing::ExitedWithCode(1), "^$");
}

}  // namespace
