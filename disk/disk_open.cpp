// Opening, creating and writing back an image file.
#include "disk/disk_image.h"
#include "disk/disk_messages.h"
#include "disk/formats.h"
#include "platform/dialogs.h"
#include "platform/files.h"

#include <new>

namespace disk {

bool TDiskImage::Flush() { return FlushOrExplain() == FlushResult::Done; }

TDiskImage::FlushResult TDiskImage::FlushOrExplain(platform::FailureReport report) {
  if (WriteProtect || !Modified || Format == ImageFormat::Hobeta || !Inserted) return FlushResult::Done;
  const FormatHandler* handler = FindFormatHandler(Format);
  const auto bytes = handler ? SaveReadable(*handler, disk_) : std::nullopt;
  if (bytes && platform::WriteFileAtomic(FileName, *bytes)) {
    Modified = false;
    return FlushResult::Done;
  }
  // The file on disk is untouched; the next flush tries again.
  if (report == platform::FailureReport::Box)
    ShowDiskImageError(DiskMessage::WriteFailed);
  else
    platform::ReportOnStderr(FileName, DiskMessageString(DiskMessage::WriteFailed));
  // A disk the format cannot hold, or a place that refuses a new file, fails
  // the same way every time; anything else (a full or failing file system)
  // may pass.
  if (!bytes || !platform::CanReplaceFile(FileName)) return FlushResult::Lasting;
  return FlushResult::Passing;
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
  // A file we may not write, or may not replace in its folder, is held
  // write-protected rather than found out at the write-back; a disk built
  // from HOBETA files is never written back.
  const bool fileReadOnly = format != ImageFormat::Hobeta && !platform::CanReplaceFile(name);
  Insert(std::move(result.Disk), format, format == ImageFormat::Hobeta || writeProtect || fileReadOnly,
         name);
  return true;
}

bool TDiskImage::AskToDiscardChanges() const {
  std::string question(kDiscardQuestion);
  question.replace(question.find("%s"), 2, platform::ShortenForMessage(FileName));
  return platform::ShowMessage(kDiskErrorCaption, question, platform::MsgButtons::YesNo,
                               platform::MsgIcon::Question,
                               platform::MsgResult::No) == platform::MsgResult::Yes;
}

bool TDiskImage::FlushOrDiscard() {
  // Nothing can wait for a later try on the way out, so a passing failure
  // is asked about too.
  if (FlushOrExplain() == FlushResult::Done) return true;
  if (!AskToDiscardChanges()) return false;
  Modified = false;
  return true;
}

bool TDiskImage::Open(const std::string& name, bool writeProtect) {
  // A disk whose write-back failed stays in the drive: replacing it would
  // lose the user's changes. When the write can never succeed, the user may
  // give them up, or the drive would stay locked to this disk.
  switch (FlushOrExplain()) {
    case FlushResult::Done:
      break;
    case FlushResult::Passing:
      return false;
    case FlushResult::Lasting:
      if (!AskToDiscardChanges()) return false;
      Modified = false;
      break;
  }

  const ImageFormat format = FormatFromExtension(name);
  // HOBETA files accumulate on one disk built from them.
  if (!(Format == ImageFormat::Hobeta && format == ImageFormat::Hobeta)) {
    Eject();
    // Kept whatever follows, so that the drive's open dialog proposes this
    // file again when it fails.
    FileName = name;
  }

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
  const auto bytes = SaveReadable(*handler, blank);
  if (!bytes || !platform::WriteFileAtomic(name, *bytes)) {
    ShowDiskImageError(DiskMessage::WriteFailed);
    return false;
  }
  Insert(std::move(blank), format, writeProtect, name);
  return true;
}

}  // namespace disk
