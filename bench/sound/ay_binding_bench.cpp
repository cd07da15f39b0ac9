// The machine's per-call path into the sound plug-in (a #FE write, an AY
// register write, a frame call), with a plug-in that does nothing: what the
// ready flag and the re-initialisation lock cost the run thread.
#include <benchmark/benchmark.h>

#include "machine/ay_hardware.h"

namespace {

int32_t Nop0() { return 0; }
int32_t Nop1(int32_t) { return 0; }
int32_t Nop2(int32_t, int32_t) { return 0; }
int32_t Nop3(int32_t, int32_t, int32_t) { return 0; }
int32_t NopInit(int32_t, void*) { return 0; }

KelvoraFunctions NopPlugin() {
  KelvoraFunctions f;
  f.FrameLoop = Nop0;
  f.SettingDialog = Nop0;
  f.GetCapabilities = Nop0;
  f.Destroy = Nop0;
  f.Initialize = NopInit;
  f.SetMode = Nop1;
  f.SetSpeakerState = Nop2;
  f.SetTapeState = Nop0;
  f.SetAYRegister = Nop3;
  return f;
}

void BM_SpeakerWrite(benchmark::State& state) {
  const KelvoraFunctions table = NopPlugin();
  TAYHardware::SetPluginFunctionsForTesting(&table);
  uint32_t frameTact = 0;
  TAYHardware ay(frameTact);
  uint8_t level = 0;
  for (auto _ : state) {
    ay.SetSpeakerState(level ^= 0x10);
    ++frameTact;
  }
  TAYHardware::SetPluginFunctionsForTesting(nullptr);
}
BENCHMARK(BM_SpeakerWrite);

void BM_RegisterWrite(benchmark::State& state) {
  const KelvoraFunctions table = NopPlugin();
  TAYHardware::SetPluginFunctionsForTesting(&table);
  uint32_t frameTact = 0;
  TAYHardware ay(frameTact);
  ay.AYRegistersEmulation = 1;
  uint8_t v = 0;
  for (auto _ : state) {
    ay.SelectRegister(v & 15);
    ay.WriteSelectedRegister(v++);
  }
  TAYHardware::SetPluginFunctionsForTesting(nullptr);
}
BENCHMARK(BM_RegisterWrite);

}  // namespace
