// Opening, creating and writing back an image file.
#include "disk/disk_image.h"
#include "disk/disk_messages.h"
#include "disk/formats.h"
#include "platform/dialogs.h"
#include "platform/files.h"

namespace disk {

bool TDiskImage::Flush() {
  if (WriteProtect || !Modified || Format == ImageFormat::Hobeta || !Inserted) return true;
  const FormatHandler* handler = FindFormatHandler(Format);
  std::optional<std::vector<uint8_t>> bytes;
  if (handler && handler->Save) bytes = handler->Save(disk_);
  if (!bytes || !platform::WriteFileAtomic(FileName, *bytes)) {
    // The file on disk is untouched; the next flush tries again.
    ShowDiskImageError(DiskMessage::WriteFailed);
    return false;
  }
  Modified = false;
  return true;
}

bool TDiskImage::Open(const std::string& name, bool writeProtect) {
  // A disk whose write-back failed stays in the drive: replacing it would
  // lose the user's changes.
  if (!Flush()) return false;

  const ImageFormat format = FormatFromExtension(name);
  // HOBETA files accumulate on one disk built from them.
  if (!(Format == ImageFormat::Hobeta && format == ImageFormat::Hobeta)) Eject();

  const FormatHandler* handler = FindFormatHandler(format);
  if (!handler) {
    ShowDiskImageError(DiskMessage::UnknownFormat);
    return false;
  }

  if (platform::FileExists(name)) {
    auto bytes = platform::ReadWholeFile(name);
    if (!bytes) {
      ShowDiskImageError(DiskMessage::OpenFailed, name);
      return false;
    }
    LoadOptions options;
    options.AddBoot = AddBoot;
    // A HOBETA file is added to the disk built from earlier ones, if any.
    if (format == ImageFormat::Hobeta && Inserted) options.Existing = &disk_;
    LoadResult result = handler->Load(*bytes, options);
    for (DiskMessage w : result.Warnings) ShowDiskImageError(w);
    if (!result.Ok) {
      ShowDiskImageError(result.Error);
      return Inserted;
    }
    // A disk built from HOBETA files is never written back.
    Insert(std::move(result.Disk), format, format == ImageFormat::Hobeta || writeProtect, name);
    return true;
  }

  if (platform::ShowMessage(kCreateCaption, kCreateQuestion, platform::MsgButtons::YesNo,
                            platform::MsgIcon::Question) != platform::MsgResult::Yes)
    return false;
  if (format == ImageFormat::Hobeta) {
    ShowDiskImageError(DiskMessage::CreateOnlyTrdSclFdi);
    return false;
  }
  TDiskContents blank = FormatTrdos(80, 2);
  std::optional<std::vector<uint8_t>> bytes;
  if (handler->Save) bytes = handler->Save(blank);
  if (!bytes || !platform::WriteFileAtomic(name, *bytes)) {
    ShowDiskImageError(DiskMessage::WriteFailed);
    return false;
  }
  Insert(std::move(blank), format, writeProtect, name);
  return true;
}

}  // namespace disk
