// A processor instance made through the public exports on a flat test bus,
// with the library's dialogs recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include "support/recording_dialogs.h"
#include "z80/z80_host.h"
#include "z80_test_bus.h"

namespace z80test {

struct InstanceHost {
  TestBus bus;
  TZ80Object object;
  testing_support::ScopedDialogs<decltype(&Z80_SetDialogs)> dialogs{&Z80_SetDialogs};
  InstanceHost() {
    bus.record = false;
    EXPECT_EQ(Z80_Create(nullptr, TestBus::Fetch, TestBus::Read, TestBus::Write, TestBus::In,
                         TestBus::Out, TestBus::IntCheck, TestBus::AfterStep, nullptr, &bus,
                         &object),
              Z80_OK);
  }
  ~InstanceHost() { Z80_Destroy(&object); }
  TZ80State& S() { return *object.StateRecord; }
};

}  // namespace z80test
