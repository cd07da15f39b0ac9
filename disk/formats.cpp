#include "disk/formats.h"

#include <array>
#include <cctype>
#include <string>

namespace disk {

namespace {

// One entry per format with a reader here; FDI, UDI, TD0, FDD and HOBETA get
// theirs beside these.
constexpr std::array kHandlers = {
    FormatHandler{ImageFormat::Trd, &LoadTrd, &SaveTrd},
    FormatHandler{ImageFormat::Scl, &LoadScl, &SaveScl},
};

}  // namespace

ImageFormat FormatFromExtension(std::string_view name) {
  const size_t slash = name.find_last_of('/');
  const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  if (dot == std::string_view::npos) return ImageFormat::None;
  std::string ext(base.substr(dot));
  for (char& ch : ext) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (ext == ".TRD") return ImageFormat::Trd;
  if (ext == ".SCL") return ImageFormat::Scl;
  if (ext == ".FDI") return ImageFormat::Fdi;
  if (ext == ".UDI") return ImageFormat::Udi;
  if (ext == ".TD0") return ImageFormat::Td0;
  if (ext == ".FDD") return ImageFormat::Fdd;
  if (ext.size() >= 2 && (ext[1] == '$' || ext[1] == '!')) return ImageFormat::Hobeta;
  return ImageFormat::None;
}

const FormatHandler* FindFormatHandler(ImageFormat format) {
  for (const FormatHandler& h : kHandlers)
    if (h.Format == format) return &h;
  return nullptr;
}

std::span<const uint8_t, 256> FillerSector() {
  static const std::array<uint8_t, 256> filler = [] {
    std::array<uint8_t, 256> s{};
    static constexpr char kText[] = "ERROR: THIS SECTOR NOT FOUND OR IN NON TR-DOS FORMAT!";
    static_assert(sizeof kText == 54, "the text and its terminating zero take 54 bytes");
    size_t k = 0;
    for (; k < sizeof kText; ++k) s[k] = static_cast<uint8_t>(kText[k]);
    for (; k < s.size(); ++k) s[k] = '*';
    return s;
  }();
  return filler;
}

}  // namespace disk
