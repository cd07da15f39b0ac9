#include "shell/memory_set_dialog.h"

#include <cstdlib>
#include <filesystem>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "shell/settings.h"

TRomSpecParts SplitRomSpec(std::string_view spec) {
  TRomSpecParts parts;
  const size_t comma = spec.find(',');
  parts.Name = std::string(spec.substr(0, comma));
  if (comma != std::string_view::npos) {
    // atoi: blanks, a sign, digits; whatever follows is ignored.
    const std::string page(spec.substr(comma + 1));
    parts.Page = static_cast<int32_t>(std::strtol(page.c_str(), nullptr, 10));
  }
  return parts;
}

std::optional<uint64_t> RomFilePages(const std::string& path) {
  if (!platform::FileExists(path)) return std::nullopt;
  std::error_code ec;
  const uint64_t size = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  return size / TZXHardware::kPageSize;
}

void TMemorySetDialog::Open(const TZXHardware& machine) {
  model_ = machine.MemoryModel >= 0 && machine.MemoryModel <= 7 ? machine.MemoryModel : 0;
  rom_set_ = 0;
  slot_ = 0;
  specs_ = machine.RomFileSpecs;
  apply_enabled_ = false;
}

void TMemorySetDialog::ChooseModel(int model) {
  if (model < 0 || model >= int(kMemoryModelItems.size())) return;
  model_ = model;
  apply_enabled_ = true;
}

void TMemorySetDialog::ChooseSlot(int slot) {
  if (slot >= 0 && slot < 4) slot_ = slot;
}

void TMemorySetDialog::ChooseRomSet(int index) {
  if (index < 0 || index >= int(kRomSetItems.size())) return;
  rom_set_ = index;  // the list keeps the chosen item
  if (index == 0) return;
  for (size_t i = 0; i < 4; ++i) specs_[i] = std::string(kRomSetItems[size_t(index)].File) + "," + std::to_string(i);
  apply_enabled_ = true;
}

void TMemorySetDialog::AdjustRomPage(int delta) {
  std::string& spec = specs_[size_t(slot_)];
  TRomSpecParts parts = SplitRomSpec(spec);
  const auto pages = RomFilePages(platform::ResolveProgramFile(parts.Name));
  if (!pages) {
    spec.clear();
    rom_set_ = 0;
    apply_enabled_ = true;
    return;
  }
  const int64_t next = int64_t(parts.Page) + delta;
  if (next >= 0 && uint64_t(next) < *pages) {
    parts.Page = static_cast<int32_t>(next);
    apply_enabled_ = true;
    rom_set_ = 0;
  }
  spec = parts.Name + "," + std::to_string(parts.Page);
}

bool TMemorySetDialog::Browse(const std::string& path) {
  // The specification splits at the first comma, so such a name could never
  // be loaded.
  if (path.find(',') != std::string::npos) {
    platform::ShowMessage(kApplicationTitle, kRomCommaMessage + path, platform::MsgButtons::Ok,
                          platform::MsgIcon::Warning);
    return false;
  }
  const auto pages = RomFilePages(path);
  if (!pages) return false;
  int64_t page = SplitRomSpec(Spec()).Page;
  if (uint64_t(uint32_t(page)) >= *pages) page = 0;
  specs_[size_t(slot_)] = path + "," + std::to_string(page);
  apply_enabled_ = true;
  return true;
}

void TMemorySetDialog::Apply(TZXHardware& machine) {
  machine.ChangeWithCpuStopped([&] {
    machine.SetMemoryModel(model_);
    machine.RomFileSpecs = specs_;
    machine.LoadRoms();
  });
  model_ = machine.MemoryModel >= 0 && machine.MemoryModel <= 7 ? machine.MemoryModel : 0;
  apply_enabled_ = false;
}
