// How many rounds a stress test of threads runs: all of them on a machine
// with time to spare; on a starved one (each hand-over between threads then
// waits for the scheduler) it ends once its budget is spent, never before
// `floor` rounds. A fault found in any round fails the test: the budget only
// bounds how long it searches, it is never an expectation.
#pragma once

#include <chrono>

namespace testing_support {

class StressRounds {
 public:
  StressRounds(int all, int floor, std::chrono::seconds budget = std::chrono::seconds(20))
      : all_(all), floor_(floor), end_(std::chrono::steady_clock::now() + budget) {}
  bool Go(int round) const {
    return round < all_ && (round < floor_ || std::chrono::steady_clock::now() < end_);
  }

 private:
  int all_;
  int floor_;
  std::chrono::steady_clock::time_point end_;
};

}  // namespace testing_support
