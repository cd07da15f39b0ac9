// Opening, creating and writing back an image file.
#include "disk/disk_image.h"
#include "disk/disk_messages.h"
#include "disk/formats.h"
#include "platform/dialogs.h"
#include "platform/files.h"

#include <new>

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

bool TDiskImage::Load(const FormatHandler& handler, platform::InputFile& file,
                      const std::string& name, bool writeProtect) {
  const auto head = file.ReadHead(kSizeProbeBytes);
  if (!head) {
    ShowDiskImageError(DiskMessage::OpenFailed, platform::ShortenForMessage(name));
    return false;
  }
  // Judged before reading: a huge file would cost its size in memory.
  if (file.size() > handler.Largest(*head)) {
    ShowDiskImageError(handler.TooLarge);
    return Inserted;
  }
  const ImageFormat format = handler.Format;
  LoadResult result;
  try {
    auto bytes = file.ReadAll();
    if (!bytes) {
      ShowDiskImageError(DiskMessage::OpenFailed, platform::ShortenForMessage(name));
      return false;
    }
    LoadOptions options;
    options.AddBoot = AddBoot;
    // A HOBETA file is added to the disk built from earlier ones, if any.
    if (format == ImageFormat::Hobeta && Inserted) options.Existing = &disk_;
    result = handler.Load(*bytes, options);
  } catch (const std::bad_alloc&) {
    ShowDiskImageError(DiskMessage::OutOfMemory);
    return Inserted;
  }
  for (DiskMessage w : result.Warnings) ShowDiskImageError(w);
  if (!result.Ok) {
    ShowDiskImageError(result.Error);
    return Inserted;
  }
  // A file we may not write is held write-protected rather than found out
  // at the write-back; a disk built from HOBETA files is never written back.
  FileReadOnly = format != ImageFormat::Hobeta && !platform::FileWritable(name);
  Insert(std::move(result.Disk), format, format == ImageFormat::Hobeta || writeProtect || FileReadOnly,
         name);
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

  platform::InputFile file(name);
  if (file.status() != platform::InputFile::Status::Missing) {
    // Only a path where nothing lies is missing: a FIFO, a directory, a
    // device or a broken link there is named in the message and kept.
    if (!file.ok()) {
      ShowDiskImageError(DiskMessage::OpenFailed, platform::ShortenForMessage(name));
      return false;
    }
    return Load(*handler, file, name, writeProtect);
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
