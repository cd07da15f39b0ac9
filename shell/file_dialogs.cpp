#include "shell/file_dialogs.h"

#include <cctype>

#include "platform/dialogs.h"
#include "shell/settings.h"

std::string TFileFilter::Text() const {
  std::string text = Label + " (";
  for (size_t i = 0; i < Patterns.size(); ++i) text += (i ? " " : "") + Patterns[i];
  return text + ")";
}

std::string UpperExtension(std::string_view fileName) {
  // On Linux only '/' separates directories; a dot in a directory's name is
  // no extension of the file.
  const size_t slash = fileName.rfind('/');
  const std::string_view base = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  const size_t dot = base.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string_view ext = base.substr(dot);
  while (!ext.empty() && (ext.back() == ' ' || ext.back() == '\t')) ext.remove_suffix(1);
  std::string upper(ext);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

bool IsHobetaExtension(std::string_view upperExt) {
  return upperExt.size() >= 2 && upperExt[0] == '.' && (upperExt[1] == '$' || upperExt[1] == '!');
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

std::string DiskDialogDefaultExt(int filterIndex) {
  switch (filterIndex) {
    case 1:
    case 2: return "trd";
    case 3: return "scl";
    case 4: return "fdi";
    case 5: return "td0";
    case 6: return "udi";
    case 7: return "fdd";
    default: return "scl";
  }
}

namespace {
const TFileFilter kAllFiles{"All files", {"*"}};
const TFileFilter kHobeta{"HOBETA files", {"*.$*", "*.!*"}};
}  // namespace

TFileDialog MakeOpenDiskDialog() {
  TFileDialog d;
  d.Title = "Open disk image...";
  d.Filters = {{"TR-DOS disks", {"*.trd", "*.scl", "*.fdi", "*.td0", "*.udi", "*.fdd", "*.$*", "*.!*"}},
               {"TRD files ", {"*.trd"}},
               {"SCL files", {"*.scl"}},
               {"FDI files", {"*.fdi"}},
               {"TELEDISK files", {"*.td0"}},
               {"UDI files", {"*.udi"}},
               {"FDD files", {"*.fdd"}},
               kHobeta,
               kAllFiles};
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
  d.Filters = {{"All formats",
                {"*.trd", "*.scl", "*.fdi", "*.td0", "*.udi", "*.fdd", "*.$*", "*.!*", "*.tap", "*.z80",
                 "*.sna", "*.sit", "*.sp", "*.zx"}},
               {"TRD files", {"*.trd"}},
               {"SCL files", {"*.scl"}},
               {"FDI files", {"*.fdi"}},
               {"Teledisk files", {"*.td0"}},
               {"UDI files", {"*.udi"}},
               {"FDD files", {"*.fdd"}},
               kHobeta,
               {"TAP files", {"*.tap"}},
               {"Z80 files", {"*.z80"}},
               {"SNA files", {"*.sna"}},
               {"SIT files", {"*.sit"}},
               {"SP files", {"*.sp"}},
               {"KGB files", {"*.zx"}},
               kAllFiles};
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
