#include "shell/timing_dialog.h"

#include <charconv>

#include "platform/dialogs.h"
#include "shell/settings.h"

std::optional<int32_t> ParseTimingCell(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int64_t value = 0;
  const char* last = text.data() + text.size();
  auto [end, ec] = std::from_chars(text.data(), last, value);
  if (text.empty() || ec != std::errc() || end != last) return std::nullopt;
  if (value < INT32_MIN || value > int64_t(UINT32_MAX)) return std::nullopt;
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

const char* TTimingDialog::PresetItem(int index) {
  return index <= 0 ? "<User defined>" : TimingPreset.at(size_t(index - 1)).Name;
}

void TTimingDialog::Open(const TTimingValues& t) {
  const uint32_t unsignedRows[] = {t.timeLoopTime,         t.timeInterruptBegin, t.timeInterruptEnd,
                                   t.timeLineTime,         t.timeScreenBeginLines,
                                   t.timeHorzScreenBegin};
  for (size_t i = 0; i < 6; ++i) cells_[i] = std::to_string(unsignedRows[i]);
  cells_[6] = std::to_string(t.timeCycleFIX);
  align_m1_ = t.execAlignM1 != 0;
  apply_enabled_ = false;
  preset_index_ = MatchTimingPreset();
}

void TTimingDialog::Changed() {
  apply_enabled_ = true;
  preset_index_ = MatchTimingPreset();
}

void TTimingDialog::SetCell(int row, std::string text) {
  cells_.at(size_t(row)) = std::move(text);
  Changed();
}

void TTimingDialog::SetAlignM1(bool on) {
  align_m1_ = on;
  Changed();
}

void TTimingDialog::ChoosePreset(int index) {
  if (index < 1 || index >= kPresetItems) return;
  const TTimingPresetRecord& p = TimingPreset[size_t(index - 1)];
  const uint32_t values[] = {p.LoopTime, p.InterruptBegin, p.InterruptEnd,
                             p.LineTime, p.ScreenBeginLines, p.HorzScreenBegin};
  for (size_t i = 0; i < 6; ++i) cells_[i] = std::to_string(static_cast<int32_t>(values[i]));
  align_m1_ = p.AlignM1 != 0;
  apply_enabled_ = true;
  preset_index_ = MatchTimingPreset();
}

int MatchTimingValues(const std::array<uint32_t, 6>& v, bool alignM1,
                      std::span<const TTimingPresetRecord> presets) {
  int match = 0;
  for (size_t p = 0; p < presets.size(); ++p) {
    const TTimingPresetRecord& r = presets[p];
    if (v[0] == r.LoopTime && v[1] == r.InterruptBegin && v[2] == r.InterruptEnd && v[3] == r.LineTime &&
        v[4] == r.ScreenBeginLines && v[5] == r.HorzScreenBegin && (r.AlignM1 != 0) == alignM1)
      match = int(p) + 1;
  }
  return match;
}

int TTimingDialog::MatchTimingPreset() const {
  std::array<uint32_t, 6> v;
  for (size_t i = 0; i < 6; ++i) {
    auto n = ParseTimingCell(cells_[i]);
    if (!n) return 0;
    v[i] = static_cast<uint32_t>(*n);
  }
  return MatchTimingValues(v, align_m1_);
}

std::optional<TTimingValues> TTimingDialog::Values(std::string* error) const {
  int32_t v[kRows];
  for (size_t i = 0; i < kRows; ++i) {
    auto n = ParseTimingCell(cells_[i]);
    if (!n) {
      if (error) *error = "'" + cells_[i] + "' is not a valid integer value";
      return std::nullopt;
    }
    v[i] = *n;
  }
  TTimingValues t;
  t.execAlignM1 = align_m1_ ? 1 : 0;
  t.timeLoopTime = static_cast<uint32_t>(v[0]);
  t.timeInterruptBegin = static_cast<uint32_t>(v[1]);
  t.timeInterruptEnd = static_cast<uint32_t>(v[2]);
  t.timeLineTime = static_cast<uint32_t>(v[3]);
  t.timeScreenBeginLines = static_cast<uint32_t>(v[4]);
  t.timeHorzScreenBegin = static_cast<uint32_t>(v[5]);
  t.timeCycleFIX = v[6];
  return t;
}

bool TTimingDialog::Apply(TZXHardware& machine) {
  std::string error;
  auto values = Values(&error);
  // The machine checks the set with the same rules before it stops the
  // processor, so a refused set leaves it running untouched.
  if (values) {
    if (auto refused = machine.ApplyTiming(*values)) error = *refused;
  }
  if (!error.empty()) {
    platform::ShowMessage(kApplicationTitle, error, platform::MsgButtons::Ok);
    return false;
  }
  apply_enabled_ = false;
  preset_index_ = MatchTimingPreset();
  return true;
}
