#include "shell/open_file.h"


#include "disk/vg93.h"
#include "machine/hardware.h"
#include "machine/snapshot_loader.h"
#include "platform/files.h"
#include "platform/dialogs.h"
#include "shell/memory_files.h"
#include "shell/number_input.h"
#include "shell/settings.h"

namespace {

// Where a file goes by its extension; unknown ones go to the snapshot loader.
disk::FileKind KindOf(const std::string& ext) {
  const disk::FileExtension* known = disk::FindExtension(ext);
  return known ? known->Kind : disk::FileKind::Snapshot;
}

// Stops a running processor for the lifetime of the guard and starts it
// again afterwards only when it was running.
class CpuPause {
 public:
  explicit CpuPause(IFileMachine& machine) : machine_(machine), running_(machine.IsCpuRunning()) {
    if (running_) machine_.StopCpu();
  }
  ~CpuPause() {
    if (running_) machine_.StartCpu();
  }
  CpuPause(const CpuPause&) = delete;
  CpuPause& operator=(const CpuPause&) = delete;

 private:
  IFileMachine& machine_;
  bool running_;
};

}  // namespace

bool OpenFile(IFileMachine& machine, const std::string& fileName, bool writeProtect, bool reset) {
  const std::string ext = UpperExtension(fileName);
  // A lone dot names no format either; neither case touches the processor.
  if (ext.size() < 2) {
    platform::ShowMessage(kApplicationTitle, kUnknownFormatMessage + fileName);
    return false;
  }
  CpuPause pause(machine);
  const disk::FileKind kind = KindOf(ext);
  if (kind == disk::FileKind::Tape) return machine.OpenTapeFile(fileName);
  if (kind == disk::FileKind::Disk) {
    machine.SetDriveWriteProtect(0, writeProtect);
    const bool inserted = machine.InsertDisk(0, fileName);
    if (reset) machine.ResetTrdos();
    return inserted;
  }
  return machine.LoadSnapshot(fileName);
}

bool FlushAllDrives(IFileMachine& machine) {
  // The run thread writes sectors into these very tracks.
  CpuPause pause(machine);
  bool ok = true;
  for (int drive = 0; drive < 4; ++drive) ok &= machine.FlushDrive(drive);
  return ok;
}

bool FlushAllDrives(disk::T1818VG93& controller, platform::FailureReport report) {
  bool ok = true;
  for (int drive = 0; drive < disk::T1818VG93::kDrives; ++drive)
    ok &= controller.Drive(drive).FlushOrExplain(report) == disk::TDiskImage::FlushResult::Done;
  return ok;
}

bool WriteBackBeforeExit(IFileMachine& machine) {
  // The run thread writes sectors into these very tracks; on the way out it
  // is not started again.
  const bool running = machine.IsCpuRunning();
  if (running) machine.StopCpu();
  for (int drive = 0; drive < 4; ++drive) {
    if (machine.FlushDriveOrDiscard(drive)) continue;
    if (running) machine.StartCpu();
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// The program's machine

bool TMachineFiles::IsCpuRunning() { return machine_.IsCpuRunning(); }
void TMachineFiles::StopCpu() { machine_.StopCpu(); }
void TMachineFiles::StartCpu() { machine_.StartCpu(); }

TMachineFiles::TMachineFiles(TZXHardware& machine)
    : machine_(machine), disk_(&machine.FloppyController) {}

void TMachineFiles::SetDiskController(disk::T1818VG93* controller) {
  disk_ = controller ? controller : &machine_.FloppyController;
}

TMachineFiles::~TMachineFiles() {
  if (tapeInstalled_) machine_.WithCpuStopped([&] { machine_.SetTapeDeck(nullptr); });
}

bool TMachineFiles::OpenTapeFile(const std::string& name) {
  // A good tape installs the deck in the machine.
  const bool opened = tape_.OpenTapeFile(machine_, name);
  tapeInstalled_ |= opened;
  return opened;
}
bool TMachineFiles::LoadSnapshot(const std::string& name) { return ::LoadSnapshot(machine_, name); }
bool TMachineFiles::SaveSnapshot(const std::string& name, const std::string& defaultExt) {
  return ::SaveSnapshot(machine_, name, defaultExt);
}

void TMachineFiles::SetDriveWriteProtect(int drive, bool on) {
  disk_->DriveWriteProtect[static_cast<size_t>(drive & 3)] = on;
}
bool TMachineFiles::InsertDisk(int drive, const std::string& name) { return disk_->InsertDisk(drive, name); }
std::string TMachineFiles::DiskFileName(int drive) { return disk_->GetDiskFileName(drive); }
bool TMachineFiles::DiskWriteProtect(int drive) { return disk_->Drive(drive).WriteProtect; }
bool TMachineFiles::FlushDrive(int drive) { return disk_->Drive(drive).Flush(); }
bool TMachineFiles::FlushDriveOrDiscard(int drive) { return disk_->Drive(drive).FlushOrDiscard(); }

void TMachineFiles::ResetTrdos() {
  machine_.ResetToTrdos();
  machine_.StepCpu();
}

uint8_t TMachineFiles::ReadMemory(uint16_t address) {
  return TZXHardware::MemoryRead(address, &machine_);
}
void TMachineFiles::PatchMemory(uint16_t address, uint8_t value) {
  PatchVisibleMemory(machine_, address, value);
}

// ---------------------------------------------------------------------------
// The commands

class TFileCommands::FullScreenPause {
 public:
  explicit FullScreenPause(const TScreenModeHooks& screen)
      : screen_(screen), left_(screen.IsFullScreen && screen.IsFullScreen()) {
    if (left_ && screen_.LeaveFullScreen) screen_.LeaveFullScreen();
  }
  ~FullScreenPause() {
    if (left_ && screen_.EnterFullScreen) screen_.EnterFullScreen();
  }
  FullScreenPause(const FullScreenPause&) = delete;
  FullScreenPause& operator=(const FullScreenPause&) = delete;

 private:
  const TScreenModeHooks& screen_;
  bool left_;
};

TFileCommands::TFileCommands(IFileMachine& machine, IFileDialogs& dialogs, TScreenModeHooks screen)
    : machine_(machine), dialogs_(dialogs), screen_(std::move(screen)) {}

void TFileCommands::OpenCommandLine(const std::string& commandLine) {
  if (!commandLine.empty()) OpenFile(machine_, commandLine, true, true);
}

void TFileCommands::OpenDiskForDrive(int drive) {
  FullScreenPause fullScreen(screen_);
  drive &= 3;
  TFileDialog& dialog = OpenDiskDialog;
  dialog.Title = std::string("Open disk image ") + static_cast<char>('A' + drive) + ":";
  dialog.FileName = machine_.DiskFileName(drive);
  dialog.ReadOnly = machine_.DiskWriteProtect(drive);
  if (!dialogs_.Execute(dialog)) return;
  CpuPause pause(machine_);
  // Every name goes to the drive whatever its extension: the disk image
  // decides by it, and several HOBETA files are collected onto one disk.
  for (const std::string& name : dialog.Files) {
    machine_.SetDriveWriteProtect(drive, dialog.ReadOnly);
    machine_.InsertDisk(drive, name);
  }
}

void TFileCommands::SubMenuOpenAllClick() {
  FullScreenPause fullScreen(screen_);
  OpenAllDialog.ReadOnly = true;
  if (!dialogs_.Execute(OpenAllDialog)) return;
  for (const std::string& name : OpenAllDialog.Files) OpenFile(machine_, name, OpenAllDialog.ReadOnly, false);
}

void TFileCommands::SubMenuSaveSnapshotClick() {
  FullScreenPause fullScreen(screen_);
  if (!dialogs_.Execute(SaveSnapshotDialog)) return;
  machine_.SaveSnapshot(SaveSnapshotDialog.FileName, ".z80");
}

void TFileCommands::SubMenuLoadBINClick() {
  FullScreenPause fullScreen(screen_);
  if (!dialogs_.Execute(OpenDialogBIN)) return;
  if (OpenDialogBIN.FilterIndex == 2) LoadStart = 0x4000;
  if (!InputNumber("The initial address of loading", "Enter initial address:", LoadStart, "#%04X", 0,
                   65535))
    return;
  LoadMemoryBlock(machine_, OpenDialogBIN.FileName, static_cast<uint16_t>(LoadStart));
}

void TFileCommands::SubMenuSaveBINClick() {
  FullScreenPause fullScreen(screen_);
  if (!dialogs_.Execute(SaveDialogBIN)) return;
  const std::string name = SaveDialogBIN.FileName;
  if (!platform::ConfirmOverwrite(name)) return;
  // A screen just loaded is the block most likely to be saved again.
  if (OpenDialogBIN.FilterIndex == 2) {
    SaveStart = 0x4000;
    SaveLength = 0x1B00;
  }
  if (!InputNumber("The initial address of memory", "Enter initial address:", SaveStart, "#%04X", 0,
                   65535))
    return;
  if (!InputNumber("Memory block length", "Enter block length (in bytes):", SaveLength, "#%04X", 1,
                   65536 - SaveStart))
    return;
  SaveMemoryBlock(machine_, name, static_cast<uint16_t>(SaveStart), static_cast<uint32_t>(SaveLength));
}

bool TFileCommands::WriteBackBeforeExit() {
  // Full screen is left for good when the program ends, and only given
  // back when it goes on.
  const bool fullScreen = screen_.IsFullScreen && screen_.IsFullScreen();
  if (fullScreen && screen_.LeaveFullScreen) screen_.LeaveFullScreen();
  if (::WriteBackBeforeExit(machine_)) return true;
  if (fullScreen && screen_.EnterFullScreen) screen_.EnterFullScreen();
  return false;
}
