#include "shell/file_dialogs.h"


#include "platform/dialogs.h"
#include "shell/settings.h"

std::string TFileFilter::Text() const {
  std::string text = Label + " (";
  for (size_t i = 0; i < Patterns.size(); ++i) text += (i ? " " : "") + Patterns[i];
  return text + ")";
}

bool IsHobetaExtension(std::string_view upperExt) {
  const disk::FileExtension* known = disk::FindExtension(upperExt);
  return known && known->Format == disk::ImageFormat::Hobeta;
}

bool AcceptSeveralFiles(const std::vector<std::string>& files) {
  if (files.size() <= 1) return true;
  for (const std::string& name : files) {
    const std::string ext = UpperExtension(name);
    if (ext.size() < 2 || ext[1] != '$') {
      platform::ShowMessage(kApplicationTitle, kSeveralFilesMessage);
      return false;
    }
  }
  return true;
}

namespace {

const TFileFilter kAllFiles{"All files", {"*"}};

// The filters of one dialog from the known extensions: first every pattern
// the dialog offers under `all`, then one filter per label, then all files.
// `firstExt` gets, per filter, the extension of its first row.
std::vector<TFileFilter> Filters(const char* disk::FileExtension::*label, const char* all,
                                 std::vector<const disk::FileExtension*>* firstRow = nullptr) {
  std::vector<TFileFilter> filters = {{all, {}}};
  std::vector<const disk::FileExtension*> rows = {nullptr};
  for (const disk::FileExtension& e : disk::KnownExtensions()) {
    if (!(e.*label)) continue;
    if (!rows.front()) rows.front() = &e;
    filters.front().Patterns.push_back(e.Pattern());
    if (filters.back().Label != e.*label || filters.size() == 1) {
      filters.push_back({e.*label, {}});
      rows.push_back(&e);
    }
    filters.back().Patterns.push_back(e.Pattern());
  }
  filters.push_back(kAllFiles);
  rows.push_back(nullptr);
  if (firstRow) *firstRow = rows;
  return filters;
}

}  // namespace

std::string DiskDialogDefaultExt(int filterIndex) {
  std::vector<const disk::FileExtension*> rows;
  Filters(&disk::FileExtension::DiskLabel, "", &rows);
  // A filter of single names proposes its own extension; HOBETA files and
  // all files propose SCL.
  const disk::FileExtension* row =
      filterIndex >= 1 && filterIndex <= static_cast<int>(rows.size()) ? rows[static_cast<size_t>(filterIndex - 1)]
                                                                       : nullptr;
  if (!row || row->Prefix) return "scl";
  return row->Pattern().substr(2);
}

TFileDialog MakeOpenDiskDialog() {
  TFileDialog d;
  d.Title = "Open disk image...";
  d.Filters = Filters(&disk::FileExtension::DiskLabel, "TR-DOS disks");
  d.DefaultExt = "trd";
  d.ShowReadOnly = true;
  d.AllowMultiple = true;
  d.CanClose = AcceptSeveralFiles;
  d.TypeChange = [](TFileDialog& self) { self.DefaultExt = DiskDialogDefaultExt(self.FilterIndex); };
  return d;
}

TFileDialog MakeOpenAllDialog() {
  TFileDialog d;
  d.Title = "Open...";
  d.Filters = Filters(&disk::FileExtension::OpenLabel, "All formats");
  d.ShowReadOnly = true;
  d.AllowMultiple = true;
  d.MustExist = true;
  d.CanClose = AcceptSeveralFiles;
  return d;
}

TFileDialog MakeLoadMemoryDialog() {
  TFileDialog d;
  d.Title = "Load memory block";
  d.Filters = {{"Binary files", {"*.bin"}}, {"SCR files", {"*.scr"}}, kAllFiles};
  return d;
}

TFileDialog MakeSaveMemoryDialog() {
  TFileDialog d;
  d.DialogKind = TFileDialog::Kind::Save;
  d.Title = "Save memory block";
  d.Filters = {{"Binary files", {"*.bin"}}, kAllFiles};
  d.DefaultExt = "bin";
  return d;
}

TFileDialog MakeSaveSnapshotDialog() {
  TFileDialog d;
  d.DialogKind = TFileDialog::Kind::Save;
  d.Title = "Save ZX snapshot...";
  d.Filters = {{"Z80 files", {"*.z80"}}};
  return d;
}
