// ROM images. Each slot takes one 16 KB page of an image file named by a
// ROM file specification: "name" for page 0, "name,page" for another page.
#include <algorithm>
#include <charconv>
#include <string_view>

#include "machine/hardware.h"
#include "platform/dialogs.h"
#include "platform/files.h"

namespace {

enum class SlotResult { Unchanged, Loaded, Missing, Unreadable, Empty, BadPage, PastEnd };

struct SlotLoad {
  SlotResult result = SlotResult::Unchanged;
  std::string path;
  std::string pageText;
};

// Reads one page of a file into a slot. A page that starts inside the file
// but runs past its end fills only what the file holds; the rest of the slot
// keeps its contents.
SlotLoad LoadSlot(const std::string& spec, uint8_t* slot) {
  SlotLoad load;
  if (spec.empty()) return load;
  // Split first: the program directory may itself contain a comma.
  std::string_view name = spec;
  int64_t page = 0;
  const size_t comma = spec.find(',');
  if (comma != std::string::npos) {
    if (comma + 1 == spec.size()) return load;  // "name,": leave the slot alone
    name = std::string_view(spec).substr(0, comma);
    load.pageText = spec.substr(comma + 1);
  }
  load.path = platform::ResolveProgramFile(std::string(name));
  if (!load.pageText.empty()) {
    const char* first = load.pageText.data();
    const char* last = first + load.pageText.size();
    auto [end, ec] = std::from_chars(first, last, page);
    if (ec != std::errc() || end != last || page < 0 || page > (INT64_MAX >> 14)) {
      load.result = SlotResult::BadPage;
      return load;
    }
  }
  // Only a regular file is opened, and without waiting (a FIFO named as a
  // ROM file would otherwise hold the program up).
  platform::InputFile file(load.path);
  if (file.status() == platform::InputFile::Status::Missing) {
    load.result = SlotResult::Missing;
    return load;
  }
  if (!file.ok()) {
    load.result = SlotResult::Unreadable;
    return load;
  }
  if (file.size() == 0) {
    load.result = SlotResult::Empty;
    return load;
  }
  const uint64_t offset = static_cast<uint64_t>(page) * TZXHardware::kPageSize;
  if (offset >= file.size()) {
    load.result = SlotResult::PastEnd;
    return load;
  }
  // Read whole before the slot changes, so a failing read leaves it whole.
  const auto bytes = file.ReadAt(offset, TZXHardware::kPageSize);
  if (!bytes) {
    load.result = SlotResult::Unreadable;
    return load;
  }
  std::copy(bytes->begin(), bytes->end(), slot);
  load.result = SlotResult::Loaded;
  return load;
}

}  // namespace

void TZXHardware::LoadRoms() {
  std::string report;
  for (size_t i = 0; i < 4; ++i) {
    const SlotLoad load = LoadSlot(RomFileSpecs[i], RomSlots[i]);
    std::string line;
    switch (load.result) {
      case SlotResult::Missing:
        line = "file \"" + load.path + "\" not found";
        break;
      case SlotResult::Unreadable:
        line = "file \"" + load.path + "\" cannot be read";
        break;
      case SlotResult::Empty:
        line = "file \"" + load.path + "\" is empty";
        break;
      case SlotResult::BadPage:
        line = "wrong page \"" + load.pageText + "\" of file \"" + load.path + "\"";
        break;
      case SlotResult::PastEnd:
        line = "page " + load.pageText + " lies past the end of file \"" + load.path + "\"";
        break;
      default:
        continue;
    }
    report += std::string("\n") + kRomSlotNames[i] + ": " + line;
  }
  if (!report.empty()) {
    platform::ShowMessage(kMachineCaption, "ROM not loaded:" + report, platform::MsgButtons::Ok,
                          platform::MsgIcon::Warning);
  }
}
