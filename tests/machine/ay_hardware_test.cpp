// The AY register file (YM/AY decoding, the AY mouse on register 14) and the
// sound plug-in binding, driven through a recording fake plug-in.
#include "machine/ay_hardware.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialogs.h"
#include "support/recording_dialogs.h"

namespace {

struct Call {
  std::string name;
  int32_t a = 0, b = 0, c = 0;
  bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Call& c) {
  return os << c.name << "(" << c.a << "," << c.b << "," << c.c << ")";
}

// A plug-in made of free functions that records every call and checks that
// nothing arrives while it is not initialised.
struct FakePlugin {
  std::mutex mutex;
  std::vector<Call> calls;
  std::vector<int32_t> initResults;  // consumed one per Initialize; empty: 0
  int32_t capabilities = 3;
  int32_t modeResult = 0;
  std::atomic<bool> initialised{false};
  std::atomic<bool> inside{false};
  std::atomic<int> violations{0};
  bool record = true;

  void Enter() {
    if (inside.exchange(true)) ++violations;  // two calls at once
  }
  void Leave() { inside = false; }
  void Add(Call c) {
    if (!record) return;
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(std::move(c));
  }
  void Use(const char* name, int32_t a = 0, int32_t b = 0, int32_t c = 0) {
    Enter();
    if (!initialised) ++violations;
    Add({name, a, b, c});
    Leave();
  }
};

FakePlugin* g_fake = nullptr;

int32_t FakeInitialize(int32_t frameLength, void* window) {
  FakePlugin& f = *g_fake;
  f.Enter();
  if (f.initialised) ++f.violations;
  int32_t result = 0;
  {
    std::lock_guard<std::mutex> lock(f.mutex);
    if (!f.initResults.empty()) {
      result = f.initResults.front();
      f.initResults.erase(f.initResults.begin());
    }
  }
  f.Add({"Initialize", frameLength, window ? 1 : 0});
  if (result == 0) f.initialised = true;
  f.Leave();
  return result;
}
int32_t FakeDestroy() {
  FakePlugin& f = *g_fake;
  f.Use("Destroy");
  f.initialised = false;
  return 0;
}
int32_t FakeGetCapabilities() {
  g_fake->Use("GetCapabilities");
  return g_fake->capabilities;
}
int32_t FakeSetMode(int32_t mode) {
  g_fake->Use("SetMode", mode);
  return g_fake->modeResult;
}
int32_t FakeSetSpeakerState(int32_t tact, int32_t level) {
  g_fake->Use("SetSpeakerState", tact, level);
  return 0;
}
int32_t FakeSetAYRegister(int32_t tact, int32_t reg, int32_t value) {
  g_fake->Use("SetAYRegister", tact, reg, value);
  return 0;
}
int32_t FakeFrameLoop() {
  g_fake->Use("FrameLoop");
  return 0;
}
int32_t FakeSettingDialog() {
  g_fake->Use("SettingDialog");
  return 0;
}
int32_t FakeSetTapeState() {
  g_fake->Use("SetTapeState");
  return 0;
}

KelvoraFunctions FakeTable() {
  KelvoraFunctions t;
  t.FrameLoop = FakeFrameLoop;
  t.SettingDialog = FakeSettingDialog;
  t.GetCapabilities = FakeGetCapabilities;
  t.Destroy = FakeDestroy;
  t.Initialize = FakeInitialize;
  t.SetMode = FakeSetMode;
  t.SetSpeakerState = FakeSetSpeakerState;
  t.SetTapeState = FakeSetTapeState;
  t.SetAYRegister = FakeSetAYRegister;
  return t;
}

class AYHardwareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = &fake;
    table = FakeTable();
    TAYHardware::SetPluginFunctionsForTesting(&table);
  }
  void TearDown() override {
    TAYHardware::SetPluginFunctionsForTesting(nullptr);
    TAYHardware::SetPluginPathForTesting("");
  }
  std::vector<Call> Take() {
    std::lock_guard<std::mutex> lock(fake.mutex);
    auto c = std::move(fake.calls);
    fake.calls.clear();
    return c;
  }
  FakePlugin fake;
  KelvoraFunctions table;
  uint32_t frameTact = 0;
  int windowDummy = 0;
};

using Calls = std::vector<Call>;

// --- the register file -----------------------------------------------------

TEST_F(AYHardwareTest, RegisterNumberDecoding) {
  struct Case {
    uint8_t ym;
    uint8_t select;
    int storedAt;  // -1: nothing stored or sent
    uint8_t readBack;
  } cases[] = {
      {1, 5, 5, 0x5A},    // an ordinary register either way
      {0, 5, 5, 0x5A},
      {1, 16, -1, 0xFF},  // YM: registers above 15 are absent
      {1, 255, -1, 0xFF},
      {0, 17, 1, 0x5A},   // AY: only the low four bits are decoded
      {0, 0xFE, 14, 0x5A},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "ym " << int(c.ym) << " reg " << int(c.select));
    TAYHardware ay(frameTact);
    ay.AYRegistersEmulation = 1;
    ay.YMRegistersType = c.ym;
    Take();
    frameTact = 1234;
    ay.SelectRegister(c.select);
    ay.WriteSelectedRegister(0x5A);
    int stored = -1;
    for (int r = 0; r < 256; ++r)
      if (ay.AYRegisters[r] == 0x5A) stored = r;
    EXPECT_EQ(stored, c.storedAt);
    EXPECT_EQ(ay.ReadSelectedRegister(), c.readBack);
    if (c.storedAt < 0)
      EXPECT_EQ(Take(), Calls{});
    else
      EXPECT_EQ(Take(), (Calls{{"SetAYRegister", 1234, c.storedAt, 0x5A}}));
  }
}

TEST_F(AYHardwareTest, WithoutRegisterEmulationSelectIsIgnoredAndReadsGiveFF) {
  TAYHardware ay(frameTact);
  ay.AYRegistersEmulation = 1;
  ay.SelectRegister(3);
  ay.AYRegistersEmulation = 0;
  ay.SelectRegister(7);  // ignored
  EXPECT_EQ(ay.SelectedRegister, 3u);
  ay.WriteSelectedRegister(0x42);  // writes still go to the last selection
  EXPECT_EQ(ay.AYRegisters[3], 0x42);
  EXPECT_EQ(ay.ReadSelectedRegister(), 0xFF);
  ay.AYRegistersEmulation = 1;
  EXPECT_EQ(ay.ReadSelectedRegister(), 0x42);
}

TEST_F(AYHardwareTest, AYMouseOnRegister14) {
  TAYHardware ay(frameTact);
  ay.AYRegistersEmulation = 1;
  ay.AYMouseEmulation = 1;
  AyMouseX = 0x33;
  AyMouseY = 0x5C;
  ay.SelectRegister(14);

  // Switching to the Y axis re-centres the X counter being left.
  ay.WriteSelectedRegister(0x40);
  EXPECT_EQ(AyMouseX, 0x38);
  EXPECT_EQ(AyMouseY, 0x5C);
  EXPECT_EQ(ay.LastR14Value, 0x40);
  EXPECT_EQ(ay.ReadSelectedRegister(), 0x40);  // mask #40 keeps only bit 6

  ay.WriteSelectedRegister(0x7F);  // same axis: nothing re-centred
  EXPECT_EQ(AyMouseX, 0x38);
  EXPECT_EQ(ay.ReadSelectedRegister(), (0x5C & 0x7F) | 0x40);

  // Back to X: the Y counter is re-centred.
  ay.WriteSelectedRegister(0x0F);
  EXPECT_EQ(AyMouseY, 0x58);
  EXPECT_EQ(ay.ReadSelectedRegister(), 0x38 & 0x0F);

  // Without the mouse, register 14 is an ordinary register.
  ay.AYMouseEmulation = 0;
  ay.WriteSelectedRegister(0x40);
  EXPECT_EQ(AyMouseX, 0x38);
  EXPECT_EQ(ay.ReadSelectedRegister(), 0x40);
  EXPECT_EQ(ay.LastR14Value, 0x0F);
}

TEST_F(AYHardwareTest, MouseReadWorksEvenWithoutRegisterEmulation) {
  TAYHardware ay(frameTact);
  ay.AYMouseEmulation = 1;
  ay.AYRegistersEmulation = 0;
  AyMouseX = 0x0B;
  ay.SelectedRegister = 14;
  ay.WriteSelectedRegister(0x0F);
  EXPECT_EQ(ay.ReadSelectedRegister(), 0x0B);
  EXPECT_EQ(ay.ReadRegisterValue(13), 0xFF);
}

TEST_F(AYHardwareTest, ResetClearsRegistersAndSendsSixteenZeroWrites) {
  TAYHardware ay(frameTact);
  ay.AYRegistersEmulation = 1;
  for (int r = 0; r < 16; ++r) {
    ay.SelectRegister(static_cast<uint8_t>(r));
    ay.WriteSelectedRegister(0xAA);
  }
  ay.SelectRegister(9);
  ay.LastR14Value = 0x40;
  Take();
  frameTact = 777;
  ay.ResetRegisters();
  Calls expected;
  for (int r = 0; r < 16; ++r) {
    EXPECT_EQ(ay.AYRegisters[r], 0);
    expected.push_back({"SetAYRegister", 777, r, 0});
  }
  EXPECT_EQ(Take(), expected);
  EXPECT_EQ(ay.SelectedRegister, 9u);
  EXPECT_EQ(ay.LastR14Value, 0x40);
}

// --- the plug-in binding ---------------------------------------------------

TEST_F(AYHardwareTest, ConstructionInitialisesAndReadsCapabilities) {
  struct Case {
    int32_t caps;
    uint8_t ay, beeper;
  } cases[] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 1}, {3, 1, 1}, {0xFC, 0, 0}};
  for (const auto& c : cases) {
    fake.capabilities = c.caps;
    Take();
    TAYHardware ay(frameTact, &windowDummy);
    EXPECT_EQ(ay.PluginReady.load(), 1);
    EXPECT_EQ(ay.AYSupported, c.ay);
    EXPECT_EQ(ay.BeeperSupported, c.beeper);
    EXPECT_EQ(ay.FrameLength, 71680u);
    EXPECT_EQ(ay.YMRegistersType.load(), 1);
    EXPECT_EQ(ay.AYMouseEmulation.load(), 0);
    EXPECT_EQ(ay.AYRegistersEmulation.load(), 0);
    EXPECT_EQ(Take(), (Calls{{"Initialize", 71680, 1}, {"GetCapabilities"}}));
  }
}

TEST_F(AYHardwareTest, FailedInitialisationLeavesThePluginSilent) {
  fake.initResults = {5};
  TAYHardware ay(frameTact);
  EXPECT_EQ(ay.PluginReady.load(), 0);
  ay.SetBeeperEnabled(1);
  ay.SetSpeakerState(0x10);
  ay.FrameLoop();
  ay.SetFrameLength(69888);
  ay.ShowSettingDialog();
  ay.ShutdownPlugin();
  EXPECT_EQ(ay.BeeperEnabled, 0);
  EXPECT_EQ(Take(), (Calls{{"Initialize", 71680, 0}}));
}

TEST_F(AYHardwareTest, MissingFunctionIsReportedAndNothingIsCalled) {
  testing_support::ScopedDialogs guard(platform::SetDialogs);
  table.SetTapeState = nullptr;
  TAYHardware ay(frameTact);
  EXPECT_EQ(ay.PluginReady.load(), 0);
  ASSERT_EQ(guard.dialogs.Count(), 1u);
  EXPECT_EQ(guard.dialogs.Messages()[0].text, "Function not found in KELVORA.DLL!");
  EXPECT_EQ(Take(), Calls{});
}

TEST_F(AYHardwareTest, MissingLibraryIsSilent) {
  testing_support::ScopedDialogs guard(platform::SetDialogs);
  TAYHardware::SetPluginFunctionsForTesting(nullptr);
  TAYHardware::SetPluginPathForTesting("/nonexistent/directory/libkelvora.so");
  TAYHardware ay(frameTact);
  EXPECT_EQ(ay.PluginReady.load(), 0);
  EXPECT_EQ(guard.dialogs.Count(), 0u);
  ay.SetBeeperEnabled(1);
  ay.SetAYEnabled(1);
  EXPECT_EQ(ay.BeeperEnabled, 0);
  EXPECT_EQ(ay.AYEnabled, 0);
  ay.SetFrameLength(69888);
  ay.ResetRegisters();
  ay.FrameLoop();
}

TEST_F(AYHardwareTest, ModeSwitchesKeepTheOtherOutput) {
  TAYHardware ay(frameTact);
  Take();
  ay.SetBeeperEnabled(1);
  ay.SetAYEnabled(1);
  ay.SetBeeperEnabled(0);
  EXPECT_EQ(Take(), (Calls{{"SetMode", 2}, {"SetMode", 3}, {"SetMode", 1}}));
  EXPECT_EQ(ay.AYEnabled, 1);
  EXPECT_EQ(ay.BeeperEnabled, 0);

  fake.modeResult = 1;  // refused: the flags keep their values
  ay.SetBeeperEnabled(1);
  ay.SetAYEnabled(0);
  EXPECT_EQ(ay.AYEnabled, 1);
  EXPECT_EQ(ay.BeeperEnabled, 0);
}

TEST_F(AYHardwareTest, ModeIsSentAgainAfterEveryReinitialisation) {
  TAYHardware ay(frameTact, &windowDummy);
  ay.SetBeeperEnabled(1);
  ay.SetAYEnabled(1);
  Take();

  ay.SetFrameLength(69888);
  EXPECT_EQ(ay.FrameLength, 69888u);
  EXPECT_EQ(Take(), (Calls{{"Destroy"}, {"Initialize", 69888, 1}, {"SetMode", 3}}));

  // The same length again still re-initialises (a timing Apply).
  ay.SetFrameLength(69888);
  EXPECT_EQ(Take(), (Calls{{"Destroy"}, {"Initialize", 69888, 1}, {"SetMode", 3}}));

  // The new length fails: the old one comes back, then the mode.
  fake.initResults = {1};
  ay.SetFrameLength(50000);
  EXPECT_EQ(ay.FrameLength, 69888u);
  EXPECT_EQ(ay.PluginReady.load(), 1);
  EXPECT_EQ(Take(), (Calls{{"Destroy"}, {"Initialize", 50000, 1}, {"Initialize", 69888, 1},
                           {"SetMode", 3}}));

  // A plug-in that refuses the mode after re-initialising: the flags say off.
  fake.modeResult = 1;
  ay.SetFrameLength(71680);
  EXPECT_EQ(ay.AYEnabled, 0);
  EXPECT_EQ(ay.BeeperEnabled, 0);
  EXPECT_EQ(ay.PluginReady.load(), 1);
}

TEST_F(AYHardwareTest, FailedFallbackLeavesThePluginNotReady) {
  TAYHardware ay(frameTact);
  ay.SetBeeperEnabled(1);
  Take();
  fake.initResults = {1, 1};
  ay.SetFrameLength(50000);
  EXPECT_EQ(ay.PluginReady.load(), 0);
  EXPECT_EQ(ay.FrameLength, 71680u);
  EXPECT_EQ(ay.BeeperEnabled, 0);
  EXPECT_EQ(ay.BeeperSupported, 0);
  EXPECT_EQ(Take(), (Calls{{"Destroy"}, {"Initialize", 50000, 0}, {"Initialize", 71680, 0}}));
  // Nothing reaches a plug-in that is not initialised, and it is not destroyed twice.
  ay.SetSpeakerState(0x10);
  ay.FrameLoop();
  ay.ResetRegisters();
  ay.SetFrameLength(71680);
  ay.ShutdownPlugin();
  EXPECT_EQ(Take(), Calls{});
  EXPECT_EQ(fake.violations.load(), 0);
}

TEST_F(AYHardwareTest, RunThreadCallsCarryTheFrameTact) {
  TAYHardware ay(frameTact);
  ay.AYRegistersEmulation = 1;
  Take();
  frameTact = 100;
  ay.SetSpeakerState(0x10);
  ay.SetSpeakerState(0x10);  // every #FE write goes through, changed or not
  frameTact = 131;
  ay.SelectRegister(7);
  ay.WriteSelectedRegister(0x38);
  ay.FrameLoop();
  ay.ShowSettingDialog();
  EXPECT_EQ(Take(), (Calls{{"SetSpeakerState", 100, 0x10},
                           {"SetSpeakerState", 100, 0x10},
                           {"SetAYRegister", 131, 7, 0x38},
                           {"FrameLoop"},
                           {"SettingDialog"}}));
}

TEST_F(AYHardwareTest, ShutdownDestroysOnceAndClearsTheFlags) {
  {
    TAYHardware ay(frameTact);
    ay.SetBeeperEnabled(1);
    ay.SetAYEnabled(1);
    Take();
    ay.ShutdownPlugin();
    EXPECT_EQ(ay.PluginReady.load(), 0);
    EXPECT_EQ(ay.BeeperEnabled + ay.AYEnabled + ay.BeeperSupported + ay.AYSupported, 0);
    ay.SetSpeakerState(0);
  }  // the destructor finds it shut down already
  EXPECT_EQ(Take(), (Calls{{"Destroy"}}));
  {
    TAYHardware ay(frameTact);
  }
  EXPECT_EQ(Take(), (Calls{{"Initialize", 71680, 0}, {"GetCapabilities"}, {"Destroy"}}));
}

// The GUI thread re-initialises (timing Apply) while the run thread calls in:
// no call may reach the plug-in between Destroy and Initialize, and no two
// calls may overlap.
TEST_F(AYHardwareTest, ReinitialisationWhileTheRunThreadCallsIn) {
  fake.record = false;
  TAYHardware ay(frameTact);
  ay.AYRegistersEmulation = 1;
  std::atomic<bool> stop{false};
  std::thread run([&] {
    uint8_t v = 0;
    while (!stop.load()) {
      ay.SetSpeakerState(v & 0x10);
      ay.SelectRegister(v & 15);
      ay.WriteSelectedRegister(v);
      ay.FrameLoop();
      ++v;
    }
  });
  for (int i = 0; i < 300; ++i) {
    ay.SetFrameLength(i & 1 ? 69888 : 71680);
    ay.SetBeeperEnabled(i & 1);
  }
  stop = true;
  run.join();
  ay.ShutdownPlugin();
  EXPECT_EQ(fake.violations.load(), 0);
  EXPECT_FALSE(fake.initialised.load());
}

}  // namespace
