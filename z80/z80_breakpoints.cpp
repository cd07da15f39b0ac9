#include "z80/z80_breakpoints.h"

#include <algorithm>

namespace z80 {
namespace {

TZ80BreakpointList* ListOf(TZ80Object* object) {
  return object && object->StateRecord ? object->Breakpoints : nullptr;
}

}  // namespace

bool BreakpointAdd(TZ80Object* object, uint16_t address) {
  TZ80BreakpointList* list = ListOf(object);
  if (!list) return false;
  std::lock_guard lock(list->Mutex);
  auto& a = list->Addresses;
  if (std::find(a.begin(), a.end(), address) != a.end()) return false;
  a.push_back(address);
  object->HasBreakpoints.store(1, std::memory_order_release);
  return true;
}

bool BreakpointRemove(TZ80Object* object, uint16_t address) {
  TZ80BreakpointList* list = ListOf(object);
  if (!list) return false;
  std::lock_guard lock(list->Mutex);
  auto& a = list->Addresses;
  const auto it = std::find(a.begin(), a.end(), address);
  if (it == a.end()) return false;
  a.erase(it);
  object->HasBreakpoints.store(a.empty() ? 0 : 1, std::memory_order_release);
  return true;
}

bool BreakpointClear(TZ80Object* object) {
  TZ80BreakpointList* list = ListOf(object);
  if (!list) return false;
  std::lock_guard lock(list->Mutex);
  list->Addresses.clear();
  object->HasBreakpoints.store(0, std::memory_order_release);
  return true;
}

bool BreakpointContains(TZ80Object* object, uint16_t address) {
  TZ80BreakpointList* list = ListOf(object);
  if (!list) return false;
  std::lock_guard lock(list->Mutex);
  const auto& a = list->Addresses;
  return std::find(a.begin(), a.end(), address) != a.end();
}

std::vector<uint16_t> BreakpointAddresses(TZ80Object* object) {
  TZ80BreakpointList* list = ListOf(object);
  if (!list) return {};
  std::lock_guard lock(list->Mutex);
  return list->Addresses;
}

bool BreakpointTestListed(TZ80Object* object, uint16_t pc) {
  bool hit = false;
  if (object->SkipBreakAddress.load(std::memory_order_relaxed) != pc) {
    std::lock_guard lock(object->Breakpoints->Mutex);
    const auto& a = object->Breakpoints->Addresses;
    hit = std::find(a.begin(), a.end(), pc) != a.end();
  }
  object->SkipBreakAddress.store(-1, std::memory_order_relaxed);
  return hit;
}

}  // namespace z80
