#include "disk/file_extensions.h"

#include <cctype>

namespace disk {

namespace {

constexpr FileExtension kExtensions[] = {
    {".TRD", false, FileKind::Disk, ImageFormat::Trd, "TRD files", "TRD files "},
    {".SCL", false, FileKind::Disk, ImageFormat::Scl, "SCL files", "SCL files"},
    {".FDI", false, FileKind::Disk, ImageFormat::Fdi, "FDI files", "FDI files"},
    {".TD0", false, FileKind::Disk, ImageFormat::Td0, "Teledisk files", "TELEDISK files"},
    {".UDI", false, FileKind::Disk, ImageFormat::Udi, "UDI files", "UDI files"},
    {".FDD", false, FileKind::Disk, ImageFormat::Fdd, "FDD files", "FDD files"},
    {".$", true, FileKind::Disk, ImageFormat::Hobeta, "HOBETA files", "HOBETA files"},
    {".!", true, FileKind::Disk, ImageFormat::Hobeta, "HOBETA files", "HOBETA files"},
    {".TAP", false, FileKind::Tape, ImageFormat::None, "TAP files", nullptr},
    // Read by the same block reader as .TAP, but not offered by the dialogs.
    {".TZX", false, FileKind::Tape, ImageFormat::None, nullptr, nullptr},
    {".Z80", false, FileKind::Snapshot, ImageFormat::None, "Z80 files", nullptr},
    {".SNA", false, FileKind::Snapshot, ImageFormat::None, "SNA files", nullptr},
    {".SIT", false, FileKind::Snapshot, ImageFormat::None, "SIT files", nullptr},
    {".SP", false, FileKind::Snapshot, ImageFormat::None, "SP files", nullptr},
    {".ZX", false, FileKind::Snapshot, ImageFormat::None, "KGB files", nullptr},
};

}  // namespace

std::string FileExtension::Pattern() const {
  std::string p = "*";
  for (const char* c = Extension; *c; ++c) p += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  if (Prefix) p += '*';
  return p;
}

std::span<const FileExtension> KnownExtensions() { return kExtensions; }

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

const FileExtension* FindExtension(std::string_view upperExt) {
  for (const FileExtension& e : kExtensions) {
    const std::string_view x = e.Extension;
    if (e.Prefix ? upperExt.substr(0, x.size()) == x : upperExt == x) return &e;
  }
  return nullptr;
}

}  // namespace disk
