#include "disk/vg93.h"

#include "disk/disk_messages.h"
#include "platform/dialogs.h"
#include "platform/files.h"

#include <algorithm>
#include <cstring>

namespace disk {

namespace {

// "The command has ended" is an end time already past. At T-state 0 there
// is no earlier time: end at 0, busy for that one T-state only, rather than
// wrapping round to a command that never ends.
constexpr uint64_t EndedBefore(uint64_t now) { return now > 0 ? now - 1 : 0; }

constexpr uint8_t kStatusBusy = 0x01;
constexpr uint8_t kStatusDrq = 0x02;  // type II/III
constexpr uint8_t kStatusIndex = 0x02;  // type I
constexpr uint8_t kStatusTrack0 = 0x04;
constexpr uint8_t kStatusCrcError = 0x08;
constexpr uint8_t kStatusNotFound = 0x10;
constexpr uint8_t kStatusHeadLoaded = 0x20;
constexpr uint8_t kStatusWriteProtect = 0x40;
constexpr uint8_t kStatusNotReady = 0x80;

constexpr int kCylinders = 256;
constexpr int kTableSides = 2;  // the latch selects side 0 or 1 only

uint32_t RingDistance(uint32_t a, uint32_t b, uint32_t length) {
  return b >= a ? b - a : length - a + b;
}

// When a field starting `distance` bytes after the sync run at `a1` passes the
// head, counted from rotation byte p: this turn when the run is still ahead,
// otherwise the next. Distances are unwrapped, so a field that runs over the
// index keeps its true length.
uint64_t FieldTime(uint64_t now, uint64_t p, uint32_t a1, uint64_t distance) {
  const uint64_t target = uint64_t{a1} + distance;
  if (p < a1) return now + (target - p) * T1818VG93::kByteTime;
  return now + T1818VG93::kTurn - p * T1818VG93::kByteTime + target * T1818VG93::kByteTime;
}

}  // namespace

T1818VG93::T1818VG93(Clock now)
    : now_(std::move(now)),
      sectorTable_(static_cast<size_t>(kDrives) * kCylinders * kTableSides),
      TrackDataBuffer(kMaxTrackLength),
      TrackMarkBuffer(kMaxTrackLength) {
  for (auto& d : Drives) d = std::make_unique<TDiskImage>();
}

T1818VG93::~T1818VG93() = default;

T1818VG93::TrackTable& T1818VG93::Table(int drive, int cylinder, int side) {
  return sectorTable_[(static_cast<size_t>(drive & 3) * kCylinders + static_cast<size_t>(cylinder & 255)) *
                          kTableSides +
                      static_cast<size_t>(side & 1)];
}

const T1818VG93::TrackTable& T1818VG93::Table(int drive, int cylinder, int side) const {
  return const_cast<T1818VG93*>(this)->Table(drive, cylinder, side);
}

const TSectorInfo* T1818VG93::SectorEntry(int drive, int cylinder, int side, uint8_t r) const {
  if (drive < 0 || drive >= kDrives || cylinder < 0 || cylinder >= kCylinders || side < 0 ||
      side >= kTableSides)
    return nullptr;
  const TrackTable& t = Table(drive, cylinder, side);
  const uint16_t slot = t.slot[r];
  return slot ? &t.sectors[slot - 1u] : nullptr;
}

// ---------------------------------------------------------------------------
// Sector table

void T1818VG93::RebuildSectorTable(int drive, int cylinder, int side) {
  if (cylinder < 0 || cylinder >= kCylinders || side < 0 || side >= kTableSides) return;
  TrackTable& table = Table(drive, cylinder, side);
  table.slot.fill(0);
  table.sectors.clear();
  const TDiskImage& image = Drive(drive);
  TSectorInfo id;
  if (!FindNextId(image, cylinder, side, 0, id)) return;
  const uint32_t firstIdPos = id.IdPos;
  // Every ID lies at a new position, so one turn's worth of them ends the walk.
  for (uint32_t walked = 0; walked <= id.TrackLength; ++walked) {
    const uint8_t r = id.IdByte(2);
    TSectorInfo sector;
    FindSector(image, cylinder, side, r, sector, id.IdA1Pos);
    // With several IDs of one R, the last walked wins.
    if (table.slot[r]) {
      table.sectors[table.slot[r] - 1u] = sector;
    } else {
      table.sectors.push_back(sector);
      table.slot[r] = static_cast<uint16_t>(table.sectors.size());
    }
    if (!FindNextId(image, cylinder, side, id.AfterIdPos, id) || id.IdPos == firstIdPos) break;
  }
}

void T1818VG93::RebuildDrive(int drive) {
  for (int c = 0; c < kCylinders; ++c)
    for (int s = 0; s < kTableSides; ++s) {
      TrackTable& t = Table(drive, c, s);
      t.slot.fill(0);
      t.sectors.clear();
    }
  const TDiskImage& image = Drive(drive);
  if (!image.Inserted) return;
  for (int c = 0; c <= image.MaxCylinder(); ++c)
    for (int s = 0; s <= std::min<int>(image.MaxSide(), kTableSides - 1); ++s)
      RebuildSectorTable(drive, c, s);
}

// ---------------------------------------------------------------------------
// Disks

// A disk change ends whatever the controller was doing with the old one.
void T1818VG93::IdleForInsertion() {
  const uint64_t now = now_();
  NextByteTact = now + 2;
  EndTact = now;
  Operation = kIdle;
  DataCount = 0;
  ForgetTransfer();
}

bool T1818VG93::InsertDisk(int drive, const std::string& name) {
  drive &= 3;
  bool shared = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    IdleForInsertion();
    // Nothing may point into the old disk's tracks while it is replaced.
    for (int c = 0; c < kCylinders; ++c)
      for (int s = 0; s < kTableSides; ++s) {
        Table(drive, c, s).slot.fill(0);
        Table(drive, c, s).sectors.clear();
      }
    Drive(drive).AddBoot = SclAddBoot;
    shared = !DriveWriteProtect[static_cast<size_t>(drive)] && HeldWritableElsewhere(drive, name);
  }
  // Opening may ask the user; the lock is not held across the dialogs, whose
  // event loop may run the state window's register reads on this thread.
  const bool ok = Drive(drive).Open(name, DriveWriteProtect[static_cast<size_t>(drive)] || shared);
  if (ok && shared) ShowDiskImageError(DiskMessage::OpenInAnotherDrive, platform::ShortenForMessage(name));
  std::lock_guard<std::mutex> lock(mutex_);
  // A disk whose writes would never be kept (a file that may not be written,
  // one another drive writes back, a disk built from HOBETA files) protects
  // the drive, so the disk system reports a write-protected disk instead of
  // losing its writes.
  if (Drive(drive).Inserted && Drive(drive).WriteProtect) DriveWriteProtect[static_cast<size_t>(drive)] = true;
  RebuildDrive(drive);
  return ok;
}

bool T1818VG93::HeldWritableElsewhere(int drive, const std::string& name) const {
  // Two drives writing one file back would each undo the other's changes.
  for (int other = 0; other < kDrives; ++other) {
    const TDiskImage& image = Drive(other);
    if (other != drive && image.Inserted && !image.WriteProtect &&
        platform::SameFile(image.FileName, name))
      return true;
  }
  return false;
}

void T1818VG93::InsertDisk(int drive, TDiskContents contents, ImageFormat format,
                           bool writeProtect, const std::string& name) {
  drive &= 3;
  std::lock_guard<std::mutex> lock(mutex_);
  IdleForInsertion();
  Drive(drive).Insert(std::move(contents), format, writeProtect, name);
  RebuildDrive(drive);
}

std::string T1818VG93::GetDiskFileName(int drive) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return Drive(drive).FileName;
}

// ---------------------------------------------------------------------------
// Register reads

uint8_t T1818VG93::ReadRegister(uint8_t port) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t now = now_();
  latestAccessTact_ = now;
  return ReadLocked(port, now);
}

T1818VG93::TStateReading T1818VG93::ReadForStateWindow(uint64_t now) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Going back in time would unload the head (now before the last command)
  // and re-open operations already ended.
  if (now < latestAccessTact_) now = latestAccessTact_;
  TStateReading r;
  r.Now = now;
  r.CommandRegister = CommandRegister;
  r.Status = ReadLocked(0x1F, now);
  r.TrackRegister = TrackRegister;
  r.SectorRegister = SectorRegister;
  r.DataRegister = DataRegister;
  r.RequestLines = ReadLocked(0xFF, now);
  r.SystemRegister = SystemRegister;
  r.HeadLoaded = HeadLoaded;
  r.SelectedCylinder = HeadCylinder[static_cast<size_t>(SelectedDrive())];
  r.DisplayByte = DisplayByte;
  r.DisplayCount = static_cast<int32_t>(DisplayCount);
  r.DataCount = DataCount;
  return r;
}

uint8_t T1818VG93::ReadRequestLines(uint64_t now) {
  const uint8_t lines = (NextByteTact < now ? 0xFF : 0xBF) & IrqDrq;
  if (Operation != kReadTrack && Operation != kWriteTrack) return lines;
  if (EndTact < now) {
    // The read that ends a track command still shows both lines.
    Operation = kIdle;
    IrqDrq = kIntrq;
    Status = 0;
    EndTact = EndedBefore(now);
    ForgetTransfer();
    return 0xFF;
  }
  return lines;
}

uint8_t T1818VG93::ReadLocked(uint8_t port, uint64_t now) {
  // A track command's end is left to the read of the request lines, which
  // reports it.
  const bool trackEndAtLatch = port == 0xFF && (Operation == kReadTrack || Operation == kWriteTrack);
  if (EndTact < now && !trackEndAtLatch) {
    IrqDrq |= kIntrq;
    Operation = kIdle;
    DataCount = 0;
  }
  if (now < LastCommandTact || now - LastCommandTact > kHeadUnload) HeadLoaded = false;
  if ((ForceIrqFlags & 4) && IndexUnderSensor(now)) {
    ForceIrqFlags = 0;
    StopTransfer(now);
    IrqDrq = kIntrq;
  }

  switch (port) {
    case 0x3F:
      return TrackRegister;
    case 0x5F:
      return SectorRegister;
    case 0x1F: {
      uint8_t r;
      if ((CommandRegister & 0x80) && (CommandRegister & 0xF0) != 0xD0) {
        const uint8_t drq = (ReadRequestLines(now) & kDrq) ? kStatusDrq : 0;
        const uint8_t busy = EndTact >= now ? kStatusBusy : 0;
        r = static_cast<uint8_t>((Status & 0x7E) | drq | busy);
      } else {
        const TDiskImage& image = Image();
        r = Status & (kStatusCrcError | kStatusNotFound);
        if (EndTact >= now) r |= kStatusBusy;
        if (HeadLoaded) {
          if (HeadCylinder[static_cast<size_t>(SelectedDrive())] == 0) r |= kStatusTrack0;
          r |= kStatusHeadLoaded;
          if (image.Inserted && IndexUnderSensor(now)) r |= kStatusIndex;
        }
        if (image.WriteProtect && image.Inserted) r |= kStatusWriteProtect;
      }
      if (!HeadLoaded) r |= kStatusNotReady;
      return r;
    }
    case 0xFF:
      return ReadRequestLines(now);
    case 0x7F:
      break;
    default:
      return 0xFF;
  }

  if (Operation == kReadSector || Operation == kReadAddress) {
    DiskActivity = 1;
    NextByteTact += kByteTime;
    uint8_t b = 0xFF;
    if (DataCount > 0 && source_ == Source::Track && sourceTrack_) {
      b = sourceTrack_->Data[DataPtr];
      DataPtr = (DataPtr + 1) % sourceTrack_->Length();
      --DataCount;
    } else {
      DataCount = 0;
    }
    if (DataCount == 0 && (CommandRegister & 0xF0) == 0x90) {
      ++SectorRegister;
      StartSectorTransfer(now);
    }
    if (DataCount == 0) {
      Operation = kIdle;
      IrqDrq = kIntrq;
      EndTact = EndedBefore(now);
    }
    DataRegister = b;
    return b;
  }
  if (Operation == kReadTrack) {
    DiskActivity = 1;
    NextByteTact += kByteTime;
    // Only a byte delivered holds the command open: reads of a track that
    // has ended, or that the disk lacks, leave its end where it is.
    if (DataCount > 0 && source_ == Source::Buffer && DataPtr < bufferLength_) {
      EndTact = now + kByteTimeout;
      DataRegister = TrackDataBuffer[DataPtr++];
      if (--DataCount == 0) {
        NextByteTact = now + kAfterLastTrackByte;
        EndTact = NextIndex(now);
      }
    }
    return DataRegister;
  }
  return 0xFF;
}

// ---------------------------------------------------------------------------
// Register writes

void T1818VG93::WriteRegister(uint8_t port, uint8_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t now = now_();
  latestAccessTact_ = now;
  WriteLocked(port, value, now);
}

void T1818VG93::WriteLocked(uint8_t port, uint8_t value, uint64_t now) {
  switch (port) {
    case 0x3F:
      TrackRegister = value;
      return;
    case 0x5F:
      SectorRegister = value;
      return;
    case 0xFF:
      SystemRegister = value;
      if (!(value & 0x08)) {  // the reset line
        TrackRegister = 0;
        Status = 0;
        Operation = kIdle;
        HeadLoaded = false;
        SectorRegister = 1;
        IrqDrq = kIntrq;
        DataCount = 0;
        ForgetTransfer();
      }
      return;
    case 0x7F:
      DataRegister = value;
      if (Operation == kWriteSector) WriteSectorByte(value, now);
      if (Operation == kWriteTrack) WriteTrackByte(value, now);
      return;
    case 0x1F:
      if ((value & 0xF0) == 0xD0)
        ForceInterrupt(value, now);
      else
        Command(value, now);
      return;
    default:
      return;
  }
}

void T1818VG93::WriteSectorByte(uint8_t value, uint64_t now) {
  DiskActivity = 1;
  EndTact = now + kByteTimeout;
  // The bytes go to the disk the sector was found on, whatever the latch
  // selects by now.
  if (DataCount > 0 && source_ == Source::Track && sourceTrack_ && currentDrive_ >= 0) {
    sourceTrack_->Data[DataPtr] = value;
    DataPtr = (DataPtr + 1) % sourceTrack_->Length();
    --DataCount;
    Drive(currentDrive_).Modified = true;
  }
  if (DataCount > 0) return;
  Operation = kIdle;
  IrqDrq = kIntrq;
  Status = 0;
  EndTact = EndedBefore(now);
  // After Record Not Found there is no sector to finish.
  if (currentDrive_ >= 0) {
    TDiskImage& owner = Drive(currentDrive_);
    UpdateDataCrc(owner.Disk(), CurrentSector);
    RebuildSectorTable(currentDrive_, CurrentSector.Cylinder, CurrentSector.Side);
  }
  ForgetTransfer();
}

void T1818VG93::PutTrackByte(uint8_t value, uint8_t mark) {
  if (DataCount == 0 || DataPtr >= bufferLength_) {
    DataCount = 0;
    return;
  }
  TrackDataBuffer[DataPtr] = value;
  TrackMarkBuffer[DataPtr] = mark;
  ++DataPtr;
  --DataCount;
}

void T1818VG93::WriteTrackByte(uint8_t value, uint64_t now) {
  DiskActivity = 1;
  // Bytes past the track's end, or for a track the disk lacks, are not
  // stored and leave the command's end where it is.
  if (DataCount == 0 || source_ != Source::Buffer) return;
  EndTact = now + kByteTimeout;
  switch (value) {
    case 0xF5:  // a sync byte with a missing clock; the CRC starts with it
      CrcEnabled = true;
      CrcUpdate(0xA1);
      PutTrackByte(0xA1, kSyncMark);
      break;
    case 0xF6:
      CrcUpdate(0xC2);
      PutTrackByte(0xC2, kSyncMark);
      break;
    case 0xF7: {  // the two CRC bytes
      CrcEnabled = false;
      const uint16_t crc = Crc;
      PutTrackByte(static_cast<uint8_t>(crc >> 8), 0);
      if (DataCount > 0) PutTrackByte(static_cast<uint8_t>(crc), 0);
      Crc = 0xFFFF;
      break;
    }
    default:
      CrcUpdate(value);
      PutTrackByte(value, 0);
      break;
  }
  if (DataCount == 0) {
    NextByteTact = now + kAfterLastTrackByte;
    EndTact = NextIndex(now);
    StoreTrackBuffer();
    CrcEnabled = false;
    Crc = 0xFFFF;
  }
}

void T1818VG93::CrcUpdate(uint8_t value) {
  if (!CrcEnabled) return;
  Crc = Crc16Ccitt(&value, 1, Crc);
}

void T1818VG93::ForceInterrupt(uint8_t value, uint64_t now) {
  IrqDrq &= static_cast<uint8_t>(~kIntrq);
  CommandRegister = value;  // status reads show the type I form from now on
  ForceIrqFlags = value & 15u;
  if (ForceIrqFlags == 0) {
    StopTransfer(now);
  } else if (ForceIrqFlags & 3u) {
    ForceIrqFlags = 0;
    StopTransfer(now);
    IrqDrq = kIntrq;
  } else if (ForceIrqFlags & 8u) {
    ForceIrqFlags = 0;
    StopTransfer(now);
    IrqDrq = kIntrq;
  }
  // Bit 2 alone: INTRQ comes with the next index pulse a register read sees.
}

void T1818VG93::StopTransfer(uint64_t now) {
  if (Operation == kWriteSector || Operation == kWriteTrack) {
    RebuildSectorTable(SelectedDrive(), HeadCylinder[static_cast<size_t>(SelectedDrive())],
                       SelectedSide());
    // A sector half written keeps its old CRC; the table must still match
    // the track it lies on.
    if (currentDrive_ >= 0)
      RebuildSectorTable(currentDrive_, CurrentSector.Cylinder, CurrentSector.Side);
  }
  Operation = kIdle;
  DataCount = 0;
  EndTact = now;
  ForgetTransfer();
}

void T1818VG93::ForgetTransfer() {
  source_ = Source::None;
  sourceTrack_ = nullptr;
  DataPtr = 0;
  CurrentSector = TSectorInfo{};
  currentDrive_ = -1;
  TrackBufferSource = {};
}

void T1818VG93::Command(uint8_t value, uint64_t now) {
  Status = 0;
  Operation = kIdle;
  CommandRegister = value;
  ForceIrqFlags = 0;
  if (!(value & 0x80)) {
    StepCommand(value, now);
    return;
  }
  SetIndexTime(value, now);
  HeadLoaded = true;
  LastCommandTact = now;
  const int drive = SelectedDrive();
  TDiskImage& image = Image();

  if ((value & 0xE0) == 0x80) {  // Read Sector
    DiskActivity = 1;
    Status = 0x81;
    IrqDrq = kDrq;
    Operation = kReadSector;
    StartSectorTransfer(now);
  } else if ((value & 0xE0) == 0xA0) {  // Write Sector
    DiskActivity = 1;
    if (DriveWriteProtect[static_cast<size_t>(drive)]) {
      Status = 0x60;
      IrqDrq = kIntrq;
    } else {
      Status = 1;
      IrqDrq = kDrq;
      Operation = kWriteSector;
      StartSectorTransfer(now);
    }
  } else if ((value & 0xFB) == 0xC0) {  // Read Address
    DiskActivity = 1;
    IrqDrq = kDrq;
    Status = 1;
    Operation = kReadAddress;
    StartReadAddress(now);
    SectorRegister = TrackRegister;
  } else if ((value & 0xF0) == 0xE0) {  // Read Track
    DiskActivity = 1;
    if (!image.Inserted) {
      IrqDrq = kIntrq;
      return;
    }
    IrqDrq = kDrq;
    Status = 1;
    Operation = kReadTrack;
    LoadTrackBuffer(drive, HeadCylinder[static_cast<size_t>(drive)], SelectedSide());
    TrackBufferSource = {};  // a Read Track is never written back
    DataCount = bufferLength_;
    EndTact = bufferLength_ ? now + kReadTrackEnd : EndWithoutTrack(now);
  } else if ((value & 0xF0) == 0xF0) {  // Write Track
    DiskActivity = 1;
    if (!image.Inserted) {
      IrqDrq = kIntrq;
      return;
    }
    if (DriveWriteProtect[static_cast<size_t>(drive)]) {
      Status = 0x60;
      IrqDrq = kIntrq;
      return;
    }
    CrcEnabled = false;
    Crc = 0xFFFF;
    Status = 1;
    IrqDrq = kDrq;
    Operation = kWriteTrack;
    LoadTrackBuffer(drive, HeadCylinder[static_cast<size_t>(drive)], SelectedSide());
    DataCount = bufferLength_;
    EndTact = bufferLength_ ? now + kWriteTrackEnd : EndWithoutTrack(now);
    NextByteTact = now;
  }
}

void T1818VG93::SetIndexTime(uint8_t command, uint64_t now) {
  // Read Track starts with the index hole.
  if ((command & 0xF0) == 0xE0) NextByteTact = NextIndex(now);
}

void T1818VG93::StepCommand(uint8_t command, uint64_t now) {
  if (command & 0x08) {
    HeadLoaded = true;
    LastCommandTact = now;
  }
  const uint64_t rate = StepRates[command & 3];
  EndTact = now + kTypeOneBase;
  IrqDrq = 0;
  switch (command & 0xE0) {
    case 0x40:
      StepDirection = 1;
      break;
    case 0x60:
      StepDirection = -1;
      break;
    default:
      break;
  }
  const bool seek = (command & 0xE0) == 0x00;  // restore or seek
  if ((command & 0xF0) == 0x00) {
    TrackRegister = 0xFF;
    DataRegister = 0;
  }
  if (seek) {
    if (DataRegister == TrackRegister) return;
    StepDirection = TrackRegister < DataRegister ? 1 : -1;
    TrackRegister = static_cast<uint8_t>(TrackRegister + StepDirection);
  } else if (command & 0x10) {
    TrackRegister = static_cast<uint8_t>(TrackRegister + StepDirection);
  }

  uint8_t& head = HeadCylinder[static_cast<size_t>(SelectedDrive())];
  const uint8_t maxCylinder = Image().MaxCylinder();
  // The track register moves one towards the target each step, so a seek
  // ends within 255 steps.
  for (;;) {
    if (head == 0 && StepDirection < 0) {
      TrackRegister = 0;
      return;
    }
    if (StepDirection > 0 && head < maxCylinder) ++head;
    if (StepDirection < 0 && head > 0) --head;
    EndTact += rate;
    if (!seek || DataRegister == TrackRegister) return;
    StepDirection = TrackRegister < DataRegister ? 1 : -1;
    TrackRegister = static_cast<uint8_t>(TrackRegister + StepDirection);
  }
}

void T1818VG93::RecordNotFound(uint64_t now) {
  ForgetTransfer();
  DataCount = 0;
  Status |= kStatusNotFound;
  IrqDrq = kIntrq;
  EndTact = now + kNotFoundEnd;
  NextByteTact = now + kNotFoundNextByte;
}

void T1818VG93::StartSectorTransfer(uint64_t now) {
  ForgetTransfer();
  DataCount = 0;
  const int drive = SelectedDrive();
  const int cylinder = HeadCylinder[static_cast<size_t>(drive)];
  const int side = SelectedSide();
  TDiskImage& image = Image();
  const TSectorInfo* e = SectorEntry(drive, cylinder, side, SectorRegister);
  TTrack* track = GetTrackInfo(image, cylinder, side);
  // The entry must still describe the very track under the head, and the
  // sector with its CRC must fit in it.
  if (!e || !e->DataFound || !e->IdCrcOk || !e->DataFits || !track ||
      track->Data.data() != e->TrackData || track->Length() != e->TrackLength) {
    RecordNotFound(now);
    return;
  }
  CurrentSector = *e;
  currentDrive_ = drive;
  source_ = Source::Track;
  sourceTrack_ = track;
  DataPtr = e->DataPos;
  DataCount = e->DataSize;
  Status &= static_cast<uint8_t>(~kStatusCrcError);

  const uint64_t p = RotationByte(now);
  const uint64_t toData = RingDistance(e->IdA1Pos, e->DataPos, e->TrackLength);
  NextByteTact = FieldTime(now, p, e->IdA1Pos, toData);
  EndTact = FieldTime(now, p, e->IdA1Pos, toData + e->DataSize + 2);
}

void T1818VG93::StartReadAddress(uint64_t now) {
  ForgetTransfer();
  DataCount = 0;
  const int drive = SelectedDrive();
  const int cylinder = HeadCylinder[static_cast<size_t>(drive)];
  const int side = SelectedSide();
  TDiskImage& image = Image();
  TTrack* track = GetTrackInfo(image, cylinder, side);
  const uint64_t p = RotationByte(now);
  TSectorInfo id;
  if (!track || !FindNextId(image, cylinder, side, static_cast<uint32_t>(p), id)) {
    RecordNotFound(now);
    return;
  }
  source_ = Source::Track;
  sourceTrack_ = track;
  DataPtr = id.IdPos;
  DataCount = 6;
  Status = id.IdCrcOk ? (Status & static_cast<uint8_t>(~kStatusCrcError)) : (Status | kStatusCrcError);
  const uint64_t toId = RingDistance(id.IdA1Pos, id.IdPos, id.TrackLength);
  // The ID is read in this turn only when its sync run is still ahead.
  if (p >= id.IdA1Pos) {
    NextByteTact = now + kTurn - p * kByteTime + (id.IdA1Pos + toId) * kByteTime;
    EndTact = NextByteTact + 6 * kByteTime;
  } else {
    NextByteTact = FieldTime(now, p, id.IdA1Pos, toId);
    EndTact = NextByteTact + 6 * kByteTime;
  }
}

// ---------------------------------------------------------------------------
// Track buffers

void T1818VG93::LoadTrackBuffer(int drive, int cylinder, int side) {
  ForgetTransfer();
  bufferLength_ = 0;
  source_ = Source::Buffer;
  TTrack* track = GetTrackInfo(Drive(drive), cylinder, side);
  if (!track) return;
  const uint32_t len = std::min<uint32_t>(track->Length(), static_cast<uint32_t>(TrackDataBuffer.size()));
  std::memcpy(TrackDataBuffer.data(), track->Data.data(), len);
  std::memcpy(TrackMarkBuffer.data(), track->Marks.data(), len);
  bufferLength_ = len;
  TrackBufferSource = {drive, cylinder, side, track->Data.data(), track->Length()};
}

void T1818VG93::StoreTrackBuffer() {
  const auto origin = TrackBufferSource;
  TrackBufferSource = {};
  if (origin.drive < 0 || origin.drive >= kDrives) return;
  TDiskImage& image = Drive(origin.drive);
  if (image.WriteProtect || !image.Inserted) return;
  TTrack* track = GetTrackInfo(image, origin.cylinder, origin.side);
  if (!track || track->Data.data() != origin.data || track->Length() != origin.length ||
      origin.length != bufferLength_)
    return;
  std::memcpy(track->Data.data(), TrackDataBuffer.data(), bufferLength_);
  std::memcpy(track->Marks.data(), TrackMarkBuffer.data(), bufferLength_);
  image.Modified = true;
  RebuildSectorTable(origin.drive, origin.cylinder, origin.side);
}

}  // namespace disk
