// Processes Qt events until done() holds. The generous bound only keeps a
// fault from hanging the suite; done() is what a test checks, not the time.
#pragma once

#include <QApplication>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

namespace testing_support {

template <typename Done>
bool WaitFor(Done done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 60000) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

}  // namespace testing_support
