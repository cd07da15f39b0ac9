// Opening files by their extension, the disk drives' open commands, loading
// and saving memory blocks and snapshots, and writing back the disks: the
// File menu's work. The commands reach the machine through IFileMachine, so
// the order of stopping, opening and restarting can be watched in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "machine/tape_deck.h"
#include "platform/dialogs.h"
#include "shell/file_dialogs.h"

class TZXHardware;
namespace disk {
class T1818VG93;
}

inline constexpr const char* kUnknownFormatMessage = "Unknown file format: ";

// What the file commands need of the machine.
class IFileMachine {
 public:
  virtual ~IFileMachine() = default;
  virtual bool IsCpuRunning() = 0;
  virtual void StopCpu() = 0;
  virtual void StartCpu() = 0;

  // The tape player and the snapshot loader and writer; each reports its own
  // failures.
  virtual bool OpenTapeFile(const std::string& name) = 0;
  virtual bool LoadSnapshot(const std::string& name) = 0;
  virtual bool SaveSnapshot(const std::string& name, const std::string& defaultExt) = 0;

  // The Beta disk interface's drives 0-3.
  virtual void SetDriveWriteProtect(int drive, bool on) = 0;
  virtual bool InsertDisk(int drive, const std::string& name) = 0;
  virtual std::string DiskFileName(int drive) = 0;
  virtual bool DiskWriteProtect(int drive) = 0;  // the image's own flag
  virtual bool FlushDrive(int drive) = 0;
  // Before the program ends: a failed write-back asks whether to give up the
  // drive's changes. False when the user keeps them.
  virtual bool FlushDriveOrDiscard(int drive) = 0;
  // The Reset TR-DOS command on a stopped processor: reset into TR-DOS and
  // one processor step.
  virtual void ResetTrdos() = 0;

  // Memory as the processor sees it. Writing below #4000 changes the ROM
  // image in use unless RAM is paged there.
  virtual uint8_t ReadMemory(uint16_t address) = 0;
  virtual void PatchMemory(uint16_t address, uint8_t value) = 0;
};

// Opens one file by its extension: .TAP and .TZX go to the tape player; disk
// images (.TRD .SCL .FDI .TD0 .UDI .FDD) and HOBETA files (.$x, .!x) into
// drive A with its write-protect flag set first and, when reset is set, a
// TR-DOS reset; every other extension to the snapshot loader. A name without
// an extension (or ending in a lone dot) is refused before the processor is
// touched; otherwise a running processor is stopped for the opening and
// started again. True when the file was taken.
bool OpenFile(IFileMachine& machine, const std::string& fileName, bool writeProtect, bool reset);

// Writes back the four drives' images (each only when modified, writable and
// not HOBETA), with the processor stopped meanwhile. False when a due write
// failed.
bool FlushAllDrives(IFileMachine& machine);
bool FlushAllDrives(disk::T1818VG93& controller,
                    platform::FailureReport report = platform::FailureReport::Box);

// Before the program ends, with the processor stopped: writes back the four
// drives' images, and where one fails asks whether to give up its changes.
// False when the user keeps them: the program goes on running as it was, the
// processor started again if it was running. True leaves it stopped.
bool WriteBackBeforeExit(IFileMachine& machine);

// The program's machine behind IFileMachine: its processor, its disk
// controller and a tape deck of its own.
class TMachineFiles final : public IFileMachine {
 public:
  explicit TMachineFiles(TZXHardware& machine);
  // Takes the tape deck out of the machine again: the machine must still
  // exist (detach it from the window before it goes).
  ~TMachineFiles() override;
  TMachineFiles(const TMachineFiles&) = delete;
  TMachineFiles& operator=(const TMachineFiles&) = delete;
  // Another controller than the machine's own (null: the machine's).
  void SetDiskController(disk::T1818VG93* controller);
  TTapeDeck& TapeDeck() { return tape_; }

  bool IsCpuRunning() override;
  void StopCpu() override;
  void StartCpu() override;
  bool OpenTapeFile(const std::string& name) override;
  bool LoadSnapshot(const std::string& name) override;
  bool SaveSnapshot(const std::string& name, const std::string& defaultExt) override;
  void SetDriveWriteProtect(int drive, bool on) override;
  bool InsertDisk(int drive, const std::string& name) override;
  std::string DiskFileName(int drive) override;
  bool DiskWriteProtect(int drive) override;
  bool FlushDrive(int drive) override;
  bool FlushDriveOrDiscard(int drive) override;
  void ResetTrdos() override;
  uint8_t ReadMemory(uint16_t address) override;
  void PatchMemory(uint16_t address, uint8_t value) override;

 private:
  TZXHardware& machine_;
  TTapeDeck tape_;
  bool tapeInstalled_ = false;
  disk::T1818VG93* disk_;
};

// Full screen as the main window keeps it; left before any dialog shows and
// entered again afterwards. Unset hooks mean a window that never is.
struct TScreenModeHooks {
  std::function<bool()> IsFullScreen;
  std::function<void()> LeaveFullScreen;
  std::function<void()> EnterFullScreen;
};

// The File menu's commands with their dialogs and remembered values.
class TFileCommands {
 public:
  TFileCommands(IFileMachine& machine, IFileDialogs& dialogs, TScreenModeHooks screen = {});

  // The program's command-line file: write-protected, with a TR-DOS reset.
  // An empty command line opens nothing.
  void OpenCommandLine(const std::string& commandLine);
  // Open disk A: to D: (drive 0-3).
  void OpenDiskForDrive(int drive);
  void SubMenuOpenAllClick();
  void SubMenuLoadBINClick();
  void SubMenuSaveBINClick();
  void SubMenuSaveSnapshotClick();
  // Writes back the disks; the caller then disables the menu item.
  bool SubMenuSaveDisksClick() { return FlushAllDrives(machine_); }
  // The way out of the program (File > Exit, the window's close button):
  // WriteBackBeforeExit out of full screen, so that its questions show.
  // False keeps the program running, in full screen again if it was.
  bool WriteBackBeforeExit();

  TFileDialog OpenDiskDialog = MakeOpenDiskDialog();
  TFileDialog OpenAllDialog = MakeOpenAllDialog();
  TFileDialog OpenDialogBIN = MakeLoadMemoryDialog();
  TFileDialog SaveDialogBIN = MakeSaveMemoryDialog();
  TFileDialog SaveSnapshotDialog = MakeSaveSnapshotDialog();

  // Remembered for the run.
  int32_t LoadStart = 0x8000;
  int32_t SaveStart = 0x4000;
  int32_t SaveLength = 0x1B00;

 private:
  // Leaves full screen for a dialog; the destructor enters it again.
  class FullScreenPause;

  IFileMachine& machine_;
  IFileDialogs& dialogs_;
  TScreenModeHooks screen_;
};
