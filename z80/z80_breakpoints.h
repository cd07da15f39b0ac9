// The breakpoint list of a processor instance. The debugger changes it on
// the GUI thread while the run thread may be testing it, so every access
// goes through the list's mutex; the run thread takes it only while
// HasBreakpoints is set, which keeps a run without breakpoints lock-free.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "z80/z80.h"

struct TZ80BreakpointList {
  std::mutex Mutex;
  std::vector<uint16_t> Addresses;  // in the order they were added
};

namespace z80 {

// Each returns false (and changes nothing) for a record without a live
// instance. Add refuses an address that is already in the list; Remove one
// that is not. All keep HasBreakpoints in step with the list.
bool BreakpointAdd(TZ80Object* object, uint16_t address);
bool BreakpointRemove(TZ80Object* object, uint16_t address);
bool BreakpointClear(TZ80Object* object);
bool BreakpointContains(TZ80Object* object, uint16_t address);
std::vector<uint16_t> BreakpointAddresses(TZ80Object* object);

// The test made before each step of a run or a step-over: PC is a
// breakpoint unless it is the skip address, which the test consumes.
// Inline so that a run without breakpoints pays one relaxed load a step.
bool BreakpointTestListed(TZ80Object* object, uint16_t pc);
inline bool BreakpointTest(TZ80Object* object, uint16_t pc) {
  if (!object->HasBreakpoints.load(std::memory_order_acquire)) return false;
  return BreakpointTestListed(object, pc);
}

}  // namespace z80
