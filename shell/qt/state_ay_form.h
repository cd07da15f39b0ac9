// The sound chip state window: the sixteen registers (tone and envelope
// periods as pairs) and the selected register number. Read only.
#pragma once

#include <array>

#include "shell/qt/state_form.h"

class TFormStateAY final : public TStateForm {
  Q_OBJECT

 public:
  explicit TFormStateAY(TZXHardware& machine, QWidget* parent = nullptr);

  void TimerUpdateTimer() override;

 private:
  // kAyRegisterBoxes' order, then LabelCurReg.
  std::array<TStateBox*, kAyBoxes> boxes_{};
};
