#include "machine/timing.h"

TTimingValues TimingFromPreset(size_t preset, int32_t cycleFix) {
  const TTimingPresetRecord& p = TimingPreset.at(preset);
  TTimingValues t;
  t.timeLoopTime = p.LoopTime;
  t.timeInterruptBegin = p.InterruptBegin;
  t.timeInterruptEnd = p.InterruptEnd;
  t.timeLineTime = p.LineTime;
  t.timeScreenBeginLines = p.ScreenBeginLines;
  t.timeHorzScreenBegin = p.HorzScreenBegin;
  t.timeCycleFIX = cycleFix;
  t.execAlignM1 = p.AlignM1;
  return t;
}

std::optional<std::string> CheckTimingValues(int64_t frame, int64_t intBegin, int64_t intEnd,
                                             int64_t line, int64_t linesBefore, int64_t paperBegin,
                                             int64_t cycleFix) {
  // The picture needs 24 border lines above the paper and 216 more below its
  // first line; everything from the first visible line to the frame end must
  // fit the renderer's class table, and the INT window must lie in the frame.
  if (paperBegin + cycleFix < 0) return "Param Cycle FIX wrong!";
  if (frame < 0 || intBegin < 0 || intEnd < 0 || line < 0 || linesBefore < 0)
    return "Error: param < 0!";
  if (frame - linesBefore * line >= 300000) return "Error: max frame period >= 300 000!";
  if (linesBefore <= 24) return "Error: Lines before PAPER < " + std::to_string(25) + "!";
  if (frame <= intBegin || frame <= intEnd) return "INT out of frame range!";
  if (frame < line * (linesBefore + 216)) return "Frame period < 241!";
  // A line of no ticks passes every rule above yet leaves the beam and the
  // sound with no time to run in.
  if (line == 0) return "Error: Line ticks = 0!";
  return std::nullopt;
}

std::optional<std::string> CheckTimingValues(const TTimingValues& t) {
  auto s = [](uint32_t v) { return static_cast<int64_t>(static_cast<int32_t>(v)); };
  return CheckTimingValues(s(t.timeLoopTime), s(t.timeInterruptBegin), s(t.timeInterruptEnd),
                           s(t.timeLineTime), s(t.timeScreenBeginLines),
                           s(t.timeHorzScreenBegin), t.timeCycleFIX);
}
