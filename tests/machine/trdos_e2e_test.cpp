// The Beta disk interface end to end: a Z80 program in the TR-DOS ROM slot
// (trdos_e2e.asm) formats a created disk through the machine's ports, writes
// two sectors and reads them back; the disk then reaches its file when the
// machine goes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "disk/disk_image.h"
#include "disk/formats.h"
#include "machine_test_util.h"
#include "platform/files.h"
#include "support/recording_dialogs.h"

namespace {

namespace fs = std::filesystem;
using machine_test::MakeMachine;

constexpr int kCylinders = 80;
constexpr size_t kSectorSize = 256;
constexpr uint32_t kTrackLength = disk::kStandardTrackLength;

struct TempDir {
  TempDir() {
    char tmpl[] = "/tmp/ovrin-trdos-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string path;
};

// Offset of a sector's data in a TRD file.
size_t TrdOffset(int cylinder, int side, int r) {
  return ((static_cast<size_t>(cylinder) * 2 + side) * 16 + (r - 1)) * kSectorSize;
}

std::vector<uint8_t> SystemSector() {
  std::vector<uint8_t> s(kSectorSize, 0);
  s[0xE2] = 1;     // first free track
  s[0xE3] = 0x16;  // 80 cylinders, two sides
  s[0xE5] = 0xF0;  // 2544 free sectors
  s[0xE6] = 0x09;
  s[0xE7] = 0x10;  // TR-DOS disk
  const std::string label = "E2E DISK";
  std::copy(label.begin(), label.end(), s.begin() + 0xF5);
  return s;
}

std::vector<uint8_t> Pattern() {
  std::vector<uint8_t> p(kSectorSize);
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * 7 + 3);
  return p;
}

// The raw track the program's format should leave, built here from the
// layout alone: gap, then per sector (TR-DOS interleave) an ID field and a
// 256-byte data field, each behind three A1 sync bytes and closed by its
// CRC, and gap bytes to the track's end.
struct TExpectedTrack {
  std::vector<uint8_t> data, marks;
  void Put(uint8_t v, uint8_t mark = 0) {
    data.push_back(v);
    marks.push_back(mark);
  }
  void Fill(uint8_t v, int n) {
    for (int i = 0; i < n; ++i) Put(v);
  }
  // A sync run, the mark and the field, then its CRC.
  void Field(std::vector<uint8_t> field) {
    std::vector<uint8_t> crced = {0xA1, 0xA1, 0xA1};
    crced.insert(crced.end(), field.begin(), field.end());
    for (int i = 0; i < 3; ++i) Put(0xA1, disk::kSyncMark);
    for (uint8_t v : field) Put(v);
    const uint16_t crc = disk::Crc16Ccitt(crced.data(), crced.size());
    Put(static_cast<uint8_t>(crc >> 8));
    Put(static_cast<uint8_t>(crc));
  }
};

TExpectedTrack ExpectedTrack(int cylinder, int side, const std::vector<std::vector<uint8_t>>& sectors) {
  static constexpr uint8_t kOrder[16] = {1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 8, 16};
  TExpectedTrack t;
  t.Fill(0x4E, 80);
  for (uint8_t r : kOrder) {
    t.Fill(0x00, 12);
    t.Field({0xFE, static_cast<uint8_t>(cylinder), static_cast<uint8_t>(side), r, 1});
    t.Fill(0x4E, 22);
    t.Fill(0x00, 12);
    std::vector<uint8_t> field = {0xFB};
    field.insert(field.end(), sectors[r - 1].begin(), sectors[r - 1].end());
    t.Field(field);
    t.Fill(0x4E, 50);
  }
  t.Fill(0x4E, static_cast<int>(kTrackLength - t.data.size()));
  return t;
}

// Where two byte strings first differ (-1: nowhere), so a failure names a
// track position rather than printing 6250 bytes.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a == b) return -1;
  const auto [pa, pb] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return static_cast<long>(pa - a.begin());
}

std::vector<uint8_t> RamBytes(TZXHardware& m, uint16_t address, size_t count) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < count; ++i) out.push_back(m.Read(static_cast<uint16_t>(address + i)));
  return out;
}

TEST(TrdosEndToEnd, FormatWriteAndReadBackThroughThePorts) {
  const auto program = platform::ReadWholeFile(TRDOS_E2E_PROGRAM);
  ASSERT_TRUE(program && !program->empty() && program->size() < TZXHardware::kPageSize);
  TempDir dir;
  const std::string path = dir.path + "/new.trd";
  testing_support::ScopedDialogs guard(&platform::SetDialogs);
  guard.dialogs.SetDefaultAnswer(platform::MsgResult::Yes);  // create the missing image

  auto m = MakeMachine();
  std::copy(program->begin(), program->end(), m->TrdosRomSlot);
  ASSERT_TRUE(m->FloppyController.InsertDisk(0, path));
  ASSERT_EQ(guard.dialogs.Count(), 1u);
  const auto created = platform::ReadWholeFile(path);
  ASSERT_TRUE(created);

  const std::vector<uint8_t> system = SystemSector(), pattern = Pattern();
  machine_test::Poke(*m, 0xA000, system);
  machine_test::Poke(*m, 0xA100, pattern);
  for (uint16_t buffer : {0xA200, 0xA300, 0xA400})
    machine_test::Poke(*m, buffer, std::vector<uint8_t>(kSectorSize, 0xEE));

  m->ResetToTrdos();
  const uint64_t limit = 1'000'000'000;  // emulated T-states; the run needs a fraction
  while (!m->Cpu().Req.Halted && m->GlobalTact < limit) ASSERT_EQ(m->StepCpu(), Z80_OK);
  ASSERT_TRUE(m->Cpu().Req.Halted) << "PC #" << std::hex << m->Cpu().PC;
  EXPECT_EQ(m->TrdosActive, 1);  // no fetch left the ROM
  EXPECT_EQ(m->Read(0xBF00), 0) << "status bits of the commands";
  EXPECT_EQ(m->Read(0xBF01), 2 * kCylinders);

  // What the processor read.
  EXPECT_EQ(RamBytes(*m, 0xA200, kSectorSize), pattern);
  EXPECT_EQ(RamBytes(*m, 0xA300, kSectorSize), system);
  EXPECT_EQ(RamBytes(*m, 0xA400, kSectorSize), std::vector<uint8_t>(kSectorSize, 0));

  // Every track byte for byte, marks included.
  const disk::TDiskImage& image = m->FloppyController.Drive(0);
  EXPECT_TRUE(image.Modified);
  const std::vector<uint8_t> blank(kSectorSize, 0);
  for (int c = 0; c < kCylinders; ++c)
    for (int s = 0; s < 2; ++s) {
      SCOPED_TRACE(testing::Message() << "cylinder " << c << " side " << s);
      std::vector<std::vector<uint8_t>> sectors(16, blank);
      if (c == 0 && s == 0) sectors[8] = system;
      if (c == 42 && s == 1) sectors[2] = pattern;
      const TExpectedTrack expected = ExpectedTrack(c, s, sectors);
      const disk::TTrack* track = image.Disk().Track(c, s);
      ASSERT_NE(track, nullptr);
      ASSERT_EQ(FirstDifference(track->Data, expected.data), -1);
      ASSERT_EQ(FirstDifference(track->Marks, expected.marks), -1);
    }
  // The file is untouched until the machine goes; then it holds the disk.
  EXPECT_EQ(FirstDifference(platform::ReadWholeFile(path).value(), *created), -1);
  m.reset();
  const auto saved = platform::ReadWholeFile(path);
  ASSERT_TRUE(saved);
  std::vector<uint8_t> expectedFile(TrdOffset(kCylinders, 0, 1), 0);
  std::copy(system.begin(), system.end(), expectedFile.begin() + TrdOffset(0, 0, 9));
  std::copy(pattern.begin(), pattern.end(), expectedFile.begin() + TrdOffset(42, 1, 3));
  EXPECT_EQ(FirstDifference(*saved, expectedFile), -1);
}

// A sector written through the ports reaches the file when the machine is
// destroyed, and only then; a write-protected drive refuses the write and
// leaves the file as it was.
TEST(TrdosEndToEnd, MachineWritesTheDiskBackWhenDestroyed) {
  TempDir dir;
  testing_support::ScopedDialogs guard(&platform::SetDialogs);
  for (bool writeProtect : {false, true}) {
    SCOPED_TRACE(writeProtect ? "write-protected" : "writable");
    const std::string path = dir.path + (writeProtect ? "/ro.trd" : "/rw.trd");
    const auto before = disk::SaveTrd(disk::FormatTrdos(kCylinders, 2));
    ASSERT_TRUE(before && platform::WriteFileAtomic(path, *before));
    const std::vector<uint8_t> pattern = Pattern();
    {
      auto m = MakeMachine();
      m->FloppyController.DriveWriteProtect[0] = writeProtect;
      ASSERT_TRUE(m->FloppyController.InsertDisk(0, path));
      m->GlobalTact = 1'000'000;
      m->TrdosActive = 1;
      m->Out(0x00FF, 0x2C);  // drive A, side 1
      m->Out(0x005F, 5);
      m->Out(0x001F, 0xA0);  // Write Sector
      for (uint8_t v : pattern) m->Out(0x007F, v);
      EXPECT_EQ(m->In(0x00FF) & 0x80, 0x80);  // INTRQ: done or refused
      EXPECT_EQ(m->In(0x001F) & 0x40, writeProtect ? 0x40 : 0);
      EXPECT_EQ(FirstDifference(platform::ReadWholeFile(path).value(), *before), -1);
    }
    std::vector<uint8_t> expected = *before;
    if (!writeProtect) std::copy(pattern.begin(), pattern.end(), expected.begin() + TrdOffset(0, 1, 5));
    EXPECT_EQ(FirstDifference(platform::ReadWholeFile(path).value(), expected), -1);
  }
  EXPECT_EQ(guard.dialogs.Count(), 0u);
}

}  // namespace
