#include "disk/disk_messages.h"

#include "platform/dialogs.h"

namespace disk {

std::string DiskMessageString(DiskMessage m, std::string_view argument) {
  const size_t index = static_cast<size_t>(m);
  if (index >= kDiskMessages.size()) return {};
  std::string text(kDiskMessages[index].text);
  const size_t slot = text.find("%s");
  if (slot != std::string::npos) text.replace(slot, 2, argument);
  return text;
}

void ShowDiskImageError(std::string_view text) {
  platform::ShowMessage(kDiskErrorCaption, text, platform::MsgButtons::Ok,
                        platform::MsgIcon::Warning);
}

void ShowDiskImageError(DiskMessage m, std::string_view argument) {
  ShowDiskImageError(DiskMessageString(m, argument));
}

}  // namespace disk
