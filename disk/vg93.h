// The Beta disk interface's floppy controller: a KR1818VG93 with its four
// registers at ports #1F (command/status), #3F (track), #5F (sector) and #7F
// (data), the interface's system latch at #FF (drive, side, reset; the INTRQ
// and DRQ lines on reading), and four drives.
//
// The controller has no clock of its own. Every delay is in T-states and is
// compared with the machine's global T-state counter, read through the clock
// given to the constructor, whenever the processor (or the state window)
// touches a port.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disk/disk_image.h"

namespace disk {

class T1818VG93 {
 public:
  // Returns the global T-state counter.
  using Clock = std::function<uint64_t()>;

  static constexpr int kDrives = 4;
  // Time, in T-states.
  static constexpr uint64_t kTurn = 700000;
  static constexpr uint64_t kByteTime = 112;
  static constexpr uint64_t kIndexPulse = 14000;
  static constexpr uint64_t kHeadUnload = 6300000;
  static constexpr uint64_t kTypeOneBase = 40;
  static constexpr std::array<uint64_t, 4> StepRates = {21000, 42000, 70000, 105000};
  static constexpr uint64_t kNotFoundEnd = 112;
  static constexpr uint64_t kNotFoundNextByte = 4000;
  static constexpr uint64_t kByteTimeout = 70000;
  static constexpr uint64_t kReadTrackEnd = 3 * kTurn;
  static constexpr uint64_t kWriteTrackEnd = 4 * kTurn;
  static constexpr uint64_t kAfterLastTrackByte = 2 * kTurn;

  // The transfer in progress.
  enum : uint8_t {
    kIdle = 0,
    kReadSector = 1,
    kWriteSector = 2,
    kReadAddress = 3,
    kReadTrack = 4,
    kWriteTrack = 5,
  };
  // Request lines as read at #FF.
  static constexpr uint8_t kIntrq = 0x80;
  static constexpr uint8_t kDrq = 0x40;

  explicit T1818VG93(Clock now);
  ~T1818VG93();  // the drives write back modified disks
  T1818VG93(const T1818VG93&) = delete;
  T1818VG93& operator=(const T1818VG93&) = delete;

  // Port access by the low byte of the port: #1F, #3F, #5F, #7F or #FF. Any
  // other byte reads as #FF and writes nothing. Port accesses are
  // serialised, but they read the clock, which belongs to the thread that
  // steps the processor: the state window uses ReadForStateWindow.
  uint8_t ReadRegister(uint8_t port);
  void WriteRegister(uint8_t port, uint8_t value);

  // What the floppy state window shows, taken in one go under the port lock,
  // so that it takes turns with the processor's port accesses. The status
  // and request-line values are real reads of #1F and #FF, effects included,
  // made before the fields that follow them are taken.
  struct TStateReading {
    uint64_t Now = 0;  // the global T-state the reads were made at
    uint8_t CommandRegister = 0;
    uint8_t Status = 0;
    uint8_t TrackRegister = 0;
    uint8_t SectorRegister = 0;
    uint8_t DataRegister = 0;
    uint8_t RequestLines = 0;
    uint8_t SystemRegister = 0;
    bool HeadLoaded = false;
    uint8_t SelectedCylinder = 0;  // head cylinder of the drive in SystemRegister
    uint8_t DisplayByte = 0;
    int32_t DisplayCount = 0;
    uint32_t DataCount = 0;
  };
  // now: the caller's reading of the global T-state counter, which may lag
  // behind the processor's; the reads never go back behind the latest time
  // a port access used.
  TStateReading ReadForStateWindow(uint64_t now);

  // Opens an image file into drive 0-3 (an empty name leaves it empty).
  // True when a disk is inserted afterwards.
  bool InsertDisk(int drive, const std::string& name);
  // Puts a disk built in memory into drive 0-3 as if it had been opened.
  void InsertDisk(int drive, TDiskContents contents, ImageFormat format, bool writeProtect,
                  const std::string& name);
  std::string GetDiskFileName(int drive) const;

  TDiskImage& Drive(int drive) { return *Drives[static_cast<size_t>(drive & 3)]; }
  const TDiskImage& Drive(int drive) const { return *Drives[static_cast<size_t>(drive & 3)]; }

  // The sector the controller uses for R on a track, or null (side 0 or 1).
  const TSectorInfo* SectorEntry(int drive, int cylinder, int side, uint8_t r) const;

  // State. The state window reads it through ReadForStateWindow only.
  uint16_t Crc = 0xFFFF;
  bool CrcEnabled = false;
  uint32_t ForceIrqFlags = 0;
  std::array<uint8_t, kDrives> HeadCylinder{};
  std::array<std::unique_ptr<TDiskImage>, kDrives> Drives;
  uint64_t LastCommandTact = 0;
  uint64_t EndTact = 0;
  uint64_t NextByteTact = 0;
  uint32_t DataCount = 0;
  uint8_t TrackRegister = 0;
  uint8_t SectorRegister = 0;
  uint8_t DataRegister = 0;
  uint8_t CommandRegister = 0;
  uint8_t SystemRegister = 0;
  uint8_t Status = 0;
  uint8_t IrqDrq = 0;
  uint8_t Operation = kIdle;
  bool HeadLoaded = false;
  int8_t StepDirection = 0;
  bool SclAddBoot = true;
  std::array<bool, kDrives> DriveWriteProtect{};
  // Shown by the state window; no operation changes them.
  uint8_t DisplayByte = 0;
  uint32_t DisplayCount = 0;
  // Set to 1 by disk work; the display counts it down for its activity light.
  std::atomic<int> DiskActivity{0};

 private:
  // The sectors of one track, indexed by their R byte.
  struct TrackTable {
    std::array<uint16_t, 256> slot{};  // 0: none, else index + 1 into sectors
    std::vector<TSectorInfo> sectors;
  };
  // What a transfer reads or writes: a ring in an image's track (sector and
  // address commands) or the track buffer (track commands).
  enum class Source { None, Track, Buffer };

  uint8_t ReadLocked(uint8_t port, uint64_t now);
  uint8_t ReadRequestLines(uint64_t now);
  void WriteLocked(uint8_t port, uint8_t value, uint64_t now);
  void Command(uint8_t value, uint64_t now);
  void ForceInterrupt(uint8_t value, uint64_t now);
  void StepCommand(uint8_t command, uint64_t now);
  void SetIndexTime(uint8_t command, uint64_t now);
  void StartSectorTransfer(uint64_t now);
  void StartReadAddress(uint64_t now);
  void RecordNotFound(uint64_t now);
  void LoadTrackBuffer(int drive, int cylinder, int side);
  void StoreTrackBuffer();
  void WriteSectorByte(uint8_t value, uint64_t now);
  void WriteTrackByte(uint8_t value, uint64_t now);
  void PutTrackByte(uint8_t value, uint8_t mark);
  void CrcUpdate(uint8_t value);
  // Ends a transfer cut short, keeping the sector table true to the track.
  void StopTransfer(uint64_t now);
  void ForgetTransfer();
  void IdleForInsertion();
  void RebuildSectorTable(int drive, int cylinder, int side);
  void RebuildDrive(int drive);
  // Another drive holds the file at name and writes it back.
  bool HeldWritableElsewhere(int drive, const std::string& name) const;
  TrackTable& Table(int drive, int cylinder, int side);
  const TrackTable& Table(int drive, int cylinder, int side) const;

  int SelectedDrive() const { return SystemRegister & 3; }
  int SelectedSide() const { return (SystemRegister & 0x10) ? 0 : 1; }
  TDiskImage& Image() { return *Drives[static_cast<size_t>(SelectedDrive())]; }
  static uint64_t RotationByte(uint64_t now) { return (now % kTurn) / kByteTime; }
  static uint64_t NextIndex(uint64_t now) { return now + kTurn - now % kTurn; }
  static bool IndexUnderSensor(uint64_t now) { return now % kTurn < kIndexPulse; }
  // A track command on a track the disk lacks runs from the next index pulse
  // to the one after, meeting nothing, and ends there.
  static uint64_t EndWithoutTrack(uint64_t now) { return NextIndex(now) + kTurn; }

  Clock now_;
  mutable std::mutex mutex_;
  // The latest T-state a port access was made at (under mutex_).
  uint64_t latestAccessTact_ = 0;
  std::vector<TrackTable> sectorTable_;  // [drive][cylinder][side 0..1]

  Source source_ = Source::None;
  TTrack* sourceTrack_ = nullptr;  // Source::Track
  // Position of the next byte of the transfer: a ring position in the track,
  // or an index into the track buffers.
  uint32_t DataPtr = 0;

  // The sector last set up for a transfer, for the CRC of a Write Sector.
  TSectorInfo CurrentSector;
  int currentDrive_ = -1;

  // Where the track buffers came from; drive -1 when there is nothing to
  // write back.
  struct {
    int drive = -1;
    int cylinder = 0;
    int side = 0;
    const uint8_t* data = nullptr;
    uint32_t length = 0;
  } TrackBufferSource;
  std::vector<uint8_t> TrackDataBuffer;
  std::vector<uint8_t> TrackMarkBuffer;
  uint32_t bufferLength_ = 0;
};

}  // namespace disk
