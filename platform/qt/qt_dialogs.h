// The program's dialogs backend: message boxes with QMessageBox, always
// shown on the GUI thread. From another thread a message with only an OK
// button is queued and answered Ok at once; a question waits for the GUI.
#pragma once

#include "platform/dialogs.h"

namespace platform::qt {

class QtDialogs final : public Dialogs {
 public:
  MsgResult Message(std::string_view caption, std::string_view text, MsgButtons buttons,
                    MsgIcon icon, MsgResult defaultButton) override;
  bool InputQuery(std::string_view caption, std::string_view prompt, std::string& text) override;
  bool SaveFileName(const SaveFileRequest& request, std::string& fileName) override;
};

}  // namespace platform::qt
