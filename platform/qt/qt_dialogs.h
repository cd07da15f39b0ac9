// The program's dialogs backend: message boxes with QMessageBox, always
// shown on the GUI thread.
#pragma once

#include "platform/dialogs.h"

namespace platform::qt {

class QtDialogs final : public Dialogs {
 public:
  MsgResult Message(std::string_view caption, std::string_view text, MsgButtons buttons,
                    MsgIcon icon) override;
};

}  // namespace platform::qt
