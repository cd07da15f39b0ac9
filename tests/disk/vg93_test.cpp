#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "controller_ports.h"
#include "disk/vg93.h"
#include "platform/dialogs.h"
#include "support/recording_dialogs.h"

using namespace disk;
using namespace disk_test;

namespace {

// Sector contents that say where they are.
uint8_t Pattern(int c, int s, int r, int k) { return static_cast<uint8_t>(c * 7 + s * 31 + r * 13 + k); }

TDiskContents PatternDisk(int cylinders, int sides) {
  TDiskContents d(cylinders, sides);
  for (int c = 0; c < cylinders; ++c)
    for (int s = 0; s < sides; ++s) {
      std::vector<uint8_t> data(4096);
      for (int r = 1; r <= 16; ++r)
        for (int k = 0; k < 256; ++k) data[static_cast<size_t>((r - 1) * 256 + k)] = Pattern(c, s, r, k);
      TTrack t = BuildTrdosTrack(c, data);
      d.SetTrack(c, s, std::move(t.Data), std::move(t.Marks));
    }
  return d;
}

// Places sync bytes, a mark, a body and its CRC on a track, around the ring.
uint32_t PutField(TTrack& t, uint32_t pos, uint8_t mark, const std::vector<uint8_t>& body) {
  const uint32_t len = t.Length();
  std::vector<uint8_t> stretch = {0xA1, 0xA1, 0xA1, mark};
  stretch.insert(stretch.end(), body.begin(), body.end());
  const uint16_t crc = Crc16Ccitt(stretch.data(), stretch.size());
  stretch.push_back(static_cast<uint8_t>(crc >> 8));
  stretch.push_back(static_cast<uint8_t>(crc));
  for (size_t k = 0; k < stretch.size(); ++k, ++pos) {
    t.Data[pos % len] = stretch[k];
    t.Marks[pos % len] = k < 3 ? kSyncMark : 0;
  }
  return pos;
}

TTrack BlankTrack(uint32_t len) {
  TTrack t;
  t.Data.assign(len, 0x4E);
  t.Marks.assign(len, 0);
  return t;
}

class Vg93 : public ::testing::Test, protected ControllerPorts {
 protected:
  testing_support::ScopedDialogs<decltype(&platform::SetDialogs)> dialogs{&platform::SetDialogs};

  void Insert(TDiskContents d, int drive = 0, bool writeProtect = false) {
    fdc.DriveWriteProtect[static_cast<size_t>(drive)] = writeProtect;
    fdc.InsertDisk(drive, std::move(d), ImageFormat::Trd, writeProtect, "");
  }
  const TTrack& TrackOf(int drive, int c, int s) { return *fdc.Drive(drive).Disk().Track(c, s); }
};

}  // namespace

TEST_F(Vg93, WriteTrackFormatsATrackThatReadsBackWithGoodCrcs) {
  Insert(PatternDisk(10, 2));
  Select(0, 1);
  Seek(5);
  const std::vector<int> order = {1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 8, 16};
  fdc.WriteRegister(kCmd, 0xF0);
  const auto stream = FormatStream(5, order, 0xE5);
  size_t sent = 0;
  while (sent < stream.size() && fdc.Operation == T1818VG93::kWriteTrack) {
    fdc.WriteRegister(kData, stream[sent++]);
    now += 112;
  }
  EXPECT_EQ(fdc.Operation, T1818VG93::kWriteTrack) << "ends at the index, after the last byte";
  EXPECT_EQ(fdc.DataCount, 0u);
  EXPECT_TRUE(fdc.Drive(0).Modified);
  const TTrack& t = TrackOf(0, 5, 1);
  ASSERT_EQ(t.Length(), 6250u);
  for (int r = 1; r <= 16; ++r) {
    TSectorInfo info;
    ASSERT_TRUE(FindSectorOnTrack(t, static_cast<uint8_t>(r), info, 0)) << r;
    EXPECT_TRUE(info.IdCrcOk);
    EXPECT_TRUE(info.DataCrcOk);
    EXPECT_EQ(info.DataByte(0), 0xE5);
  }
  // The sector table follows the new layout: the processor reads it back.
  now = fdc.EndTact + 10;
  fdc.ReadRegister(kLatch);
  fdc.WriteRegister(kSector, 10);
  fdc.WriteRegister(kCmd, 0x80);
  EXPECT_EQ(ReadAll(), std::vector<uint8_t>(256, 0xE5));
  EXPECT_EQ(fdc.ReadRegister(kCmd) & 0x10, 0);
}

TEST_F(Vg93, ReadAndWriteSector) {
  Insert(PatternDisk(4, 2));
  Select(0, 1);
  Seek(2);
  fdc.WriteRegister(kSector, 3);
  fdc.WriteRegister(kCmd, 0x80);
  EXPECT_EQ(fdc.ReadRegister(kCmd) & 0x01, 1) << "busy while reading";
  auto data = ReadAll();
  ASSERT_EQ(data.size(), 256u);
  for (int k = 0; k < 256; ++k) ASSERT_EQ(data[static_cast<size_t>(k)], Pattern(2, 1, 3, k));
  EXPECT_EQ(fdc.ReadRegister(kLatch) & 0xC0, 0x80) << "INTRQ after the last byte";
  EXPECT_EQ(fdc.ReadRegister(kCmd) & 0x11, 0);

  std::vector<uint8_t> fresh(256);
  for (int k = 0; k < 256; ++k) fresh[static_cast<size_t>(k)] = static_cast<uint8_t>(255 - k);
  fdc.WriteRegister(kSector, 4);
  fdc.WriteRegister(kCmd, 0xA0);
  EXPECT_EQ(WriteAll(fresh), fresh.size());
  EXPECT_EQ(fdc.ReadRegister(kLatch) & 0x80, 0x80);
  EXPECT_EQ(fdc.Operation, T1818VG93::kIdle);
  EXPECT_TRUE(fdc.Drive(0).Modified);
  TSectorInfo info;
  ASSERT_TRUE(FindSector(fdc.Drive(0), 2, 1, 4, info, 0));
  EXPECT_TRUE(info.DataCrcOk);
  fdc.WriteRegister(kCmd, 0x80);
  EXPECT_EQ(ReadAll(), fresh);
}

TEST_F(Vg93, MultiSectorReadEndsWithRecordNotFound) {
  Insert(PatternDisk(2, 2));
  Select(0, 0);
  fdc.WriteRegister(kSector, 15);
  fdc.WriteRegister(kCmd, 0x90);
  auto data = ReadAll();
  ASSERT_EQ(data.size(), 512u);
  EXPECT_EQ(data[0], Pattern(0, 0, 15, 0));
  EXPECT_EQ(data[256], Pattern(0, 0, 16, 0));
  EXPECT_EQ(fdc.SectorRegister, 17);
  EXPECT_EQ(fdc.ReadRegister(kCmd) & 0x10, 0x10);
  EXPECT_EQ(fdc.ReadRegister(kLatch) & 0x80, 0x80);
}

TEST_F(Vg93, ReadAddressLeavesTheTrackRegisterInTheSectorRegister) {
  Insert(PatternDisk(4, 2));
  Select(0, 0);
  Seek(3);
  fdc.WriteRegister(kTrack, 7);
  now = 700000 * 5 + 112 * 300;  // between the first and second IDs
  fdc.WriteRegister(kCmd, 0xC0);
  EXPECT_EQ(fdc.SectorRegister, 7);
  auto id = ReadAll();
  ASSERT_EQ(id.size(), 6u);
  EXPECT_EQ(id[0], 3);
  EXPECT_EQ(id[2], 2) << "the next ID under the head";
  const uint16_t crc = Crc16Ccitt(std::vector<uint8_t>{0xA1, 0xA1, 0xA1, 0xFE, 3, 0, 2, 1}.data(), 8);
  EXPECT_EQ(id[4] << 8 | id[5], crc);
  EXPECT_EQ(fdc.ReadRegister(kCmd) & 0x18, 0);
}

TEST_F(Vg93, ReadTrackDeliversTheRawTrackAndItsEndShowsBothLines) {
  Insert(PatternDisk(2, 2));
  Select(0, 0);
  fdc.WriteRegister(kCmd, 0xE0);
  auto raw = ReadN(6250);
  EXPECT_EQ(raw, TrackOf(0, 0, 0).Data);
  now = fdc.EndTact + 1;
  EXPECT_EQ(fdc.ReadRegister(kLatch), 0xFF) << "the read that ends the command";
  EXPECT_EQ(fdc.ReadRegister(kLatch), 0x80);
}

TEST_F(Vg93, SectorTimingFollowsTheRotation) {
  TTrack t = BlankTrack(6250);
  PutField(t, 3000, 0xFE, {0, 0, 1, 1});
  PutField(t, 3046, 0xFB, std::vector<uint8_t>(256, 1));
  PutField(t, 100, 0xFE, {0, 0, 2, 1});
  PutField(t, 146, 0xFB, std::vector<uint8_t>(256, 2));
  TDiskContents d(1, 1);
  d.SetTrack(0, 0, t.Data, t.Marks);
  Insert(std::move(d));
  Select(0, 0);
  struct Case {
    uint8_t r;
    uint64_t next, end;
  };
  for (const Case& c : {Case{1, 1041664, 1070560}, Case{2, 1416864, 1445760}}) {
    now = 1000000;
    fdc.WriteRegister(kSector, c.r);
    fdc.WriteRegister(kCmd, 0x80);
    EXPECT_EQ(fdc.NextByteTact, c.next);
    EXPECT_EQ(fdc.EndTact, c.end);
    EXPECT_EQ(fdc.ReadRegister(kLatch) & 0x40, 0) << "no DRQ before the data arrives";
    now = c.next + 1;
    EXPECT_EQ(fdc.ReadRegister(kLatch) & 0x40, 0x40);
    EXPECT_EQ(fdc.ReadRegister(kCmd) & 0x03, 0x03) << "busy and DRQ in the status";
  }
}

TEST_F(Vg93, TypeOneStatusBits) {
  Insert(PatternDisk(4, 2), 0, true);
  Select(0, 0);
  struct Case {
    const char* name;
    uint8_t command;
    uint64_t at;  // rotation time of the status read
    uint8_t status;
  };
  const Case cases[] = {
      {"restore, head loaded, at the index", 0x08, 100, 0x20 | 0x04 | 0x02 | 0x40},
      {"restore, head loaded, away from the index", 0x08, 300000, 0x20 | 0x04 | 0x40},
      {"restore without head load", 0x00, 300000, 0x80 | 0x40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fdc.WriteRegister(kLatch, 0x00);  // reset: unloads the head
    Select(0, 0);
    now = 7000000ull * 3;
    fdc.WriteRegister(kCmd, c.command);
    now = fdc.EndTact + 700000 - fdc.EndTact % 700000 + c.at;
    EXPECT_EQ(fdc.ReadRegister(kCmd), c.status);
  }
  // The head unloads on its own.
  now += 6300001;
  EXPECT_EQ(fdc.ReadRegister(kCmd) & 0x80, 0x80);
}

TEST_F(Vg93, StepsAndSeeks) {
  Insert(PatternDisk(10, 2));
  Select(0, 0);
  // A step out at cylinder 0 sets the track register to 0 even without update.
  fdc.WriteRegister(kTrack, 5);
  fdc.WriteRegister(kCmd, 0x60);
  EXPECT_EQ(fdc.TrackRegister, 0);
  EXPECT_EQ(fdc.HeadCylinder[0], 0);
  // Seeking beyond the disk: the head stops at its last cylinder, the
  // register reaches the target and every step costs its time.
  now = 5000000;
  fdc.WriteRegister(kData, 12);
  fdc.WriteRegister(kCmd, 0x13);
  EXPECT_EQ(fdc.TrackRegister, 12);
  EXPECT_EQ(fdc.HeadCylinder[0], 9);
  EXPECT_EQ(fdc.EndTact, 5000000u + 40 + 12 * 105000);
  // Step in with update, then step (same direction) without.
  now = fdc.EndTact + 1;
  fdc.WriteRegister(kCmd, 0x00);  // restore
  EXPECT_EQ(fdc.HeadCylinder[0], 0);
  EXPECT_EQ(fdc.TrackRegister, 0);
  fdc.WriteRegister(kCmd, 0x50);
  fdc.WriteRegister(kCmd, 0x20);
  EXPECT_EQ(fdc.HeadCylinder[0], 2);
  EXPECT_EQ(fdc.TrackRegister, 1);
  EXPECT_EQ(fdc.IrqDrq, 0) << "type I clears both request lines";
}

TEST_F(Vg93, ForceInterruptMidTransfer) {
  struct Case {
    uint8_t command;
    bool intrqAtOnce;
  };
  for (const Case& c : {Case{0xD8, true}, Case{0xD1, true}, Case{0xD0, false}}) {
    SCOPED_TRACE(c.command);
    Insert(PatternDisk(2, 2));
    Select(0, 0);
    fdc.WriteRegister(kSector, 1);
    fdc.WriteRegister(kCmd, 0x80);
    ASSERT_TRUE(WaitDrq());
    fdc.ReadRegister(kData);
    fdc.WriteRegister(kCmd, c.command);
    EXPECT_EQ(fdc.Operation, T1818VG93::kIdle);
    EXPECT_EQ((fdc.IrqDrq & 0x80) != 0, c.intrqAtOnce);
    now += 1;
    EXPECT_EQ(fdc.ReadRegister(kLatch) & 0x80, 0x80);
    EXPECT_EQ(fdc.ReadRegister(kData), 0xFF) << "no more data";
  }
}

TEST_F(Vg93, ForceInterruptOnIndexCutsAWriteTrackAndStoresNothing) {
  Insert(PatternDisk(2, 2));
  const auto before = TrackOf(0, 0, 0).Data;
  Select(0, 0);
  now = 700000 * 3 + 100000;
  fdc.WriteRegister(kCmd, 0xF0);
  fdc.WriteRegister(kData, 0x00);
  fdc.WriteRegister(kCmd, 0xD4);
  for (; now < 700000 * 4 + 10; now += 112) {  // up to the index pulse
    ASSERT_EQ(fdc.ReadRegister(kLatch) & 0x80, 0);
    fdc.WriteRegister(kData, 0x00);
  }
  EXPECT_EQ(fdc.ReadRegister(kCmd) & 0x80, 0);  // this read meets the index pulse
  EXPECT_EQ(fdc.ReadRegister(kLatch) & 0x80, 0x80);
  EXPECT_EQ(fdc.Operation, T1818VG93::kIdle);
  for (int k = 0; k < 7000; ++k) fdc.WriteRegister(kData, 0x00);
  EXPECT_EQ(TrackOf(0, 0, 0).Data, before);
  EXPECT_FALSE(fdc.Drive(0).Modified);
}

TEST_F(Vg93, WriteProtectRefusesWrites) {
  Insert(PatternDisk(2, 2), 0, true);
  const auto before = TrackOf(0, 0, 0).Data;
  Select(0, 0);
  for (uint8_t command : {uint8_t{0xA0}, uint8_t{0xF0}}) {
    SCOPED_TRACE(command);
    fdc.WriteRegister(kSector, 1);
    fdc.WriteRegister(kCmd, command);
    EXPECT_EQ(fdc.Status, 0x60);
    EXPECT_EQ(fdc.IrqDrq, 0x80);
    for (int k = 0; k < 300; ++k) fdc.WriteRegister(kData, 0x11);
  }
  EXPECT_EQ(TrackOf(0, 0, 0).Data, before);
  EXPECT_FALSE(fdc.Drive(0).Modified);
}

TEST_F(Vg93, ResetThroughTheLatch) {
  Insert(PatternDisk(2, 2));
  Select(0, 0);
  fdc.WriteRegister(kTrack, 9);
  fdc.WriteRegister(kSector, 9);
  fdc.WriteRegister(kCmd, 0x80);
  fdc.WriteRegister(kLatch, 0x10);  // bit 3 clear
  EXPECT_EQ(fdc.TrackRegister, 0);
  EXPECT_EQ(fdc.SectorRegister, 1);
  EXPECT_EQ(fdc.Operation, T1818VG93::kIdle);
  EXPECT_FALSE(fdc.HeadLoaded);
  EXPECT_EQ(fdc.ReadRegister(kLatch) & 0x80, 0x80);
}

TEST_F(Vg93, EmptyDriveAndMissingSectors) {
  Select(1, 0);
  fdc.WriteRegister(kSector, 1);
  fdc.WriteRegister(kCmd, 0x80);
  EXPECT_EQ(fdc.Status & 0x10, 0x10);
  EXPECT_EQ(fdc.IrqDrq, 0x80);
  fdc.WriteRegister(kCmd, 0xE0);
  EXPECT_EQ(fdc.IrqDrq, 0x80);
  EXPECT_EQ(fdc.Status, 0);

  // A Write Sector that found nothing takes a data byte and changes no disk.
  Insert(PatternDisk(2, 2), 0);
  Select(0, 0);
  fdc.WriteRegister(kSector, 1);
  fdc.WriteRegister(kCmd, 0xA0);
  fdc.WriteRegister(kSector, 40);
  fdc.WriteRegister(kCmd, 0xA0);
  EXPECT_EQ(fdc.Status & 0x10, 0x10);
  fdc.WriteRegister(kData, 0x77);
  EXPECT_EQ(fdc.Status, 0);
  EXPECT_EQ(fdc.Operation, T1818VG93::kIdle);
  EXPECT_FALSE(fdc.Drive(0).Modified);
}

TEST_F(Vg93, FieldsThatWrapTheIndex) {
  std::vector<uint8_t> data(256);
  for (int k = 0; k < 256; ++k) data[static_cast<size_t>(k)] = static_cast<uint8_t>(k);
  TDiskContents d(2, 1);
  TTrack t = BlankTrack(6250);
  uint32_t p = PutField(t, 6245, 0xFE, {0, 0, 1, 1});  // cylinder 0: the ID across the index
  PutField(t, p + 20, 0xFB, data);
  d.SetTrack(0, 0, t.Data, t.Marks);
  t = BlankTrack(6250);
  p = PutField(t, 6000, 0xFE, {1, 0, 1, 1});  // cylinder 1: the data across the index
  PutField(t, p + 20, 0xFB, data);
  d.SetTrack(1, 0, t.Data, t.Marks);
  Insert(std::move(d));
  Select(0, 0);
  for (int c : {0, 1}) {
    SCOPED_TRACE(c);
    Seek(c);
    now = 700000 * (10 + c);
    fdc.WriteRegister(kSector, 1);
    fdc.WriteRegister(kCmd, 0x80);
    EXPECT_EQ(fdc.EndTact, fdc.NextByteTact + 258 * 112) << "the end lies after the data and CRC";
    EXPECT_EQ(ReadAll(), data);
    // Writing it back keeps its CRC good across the index.
    fdc.WriteRegister(kCmd, 0xA0);
    EXPECT_EQ(WriteAll(data), data.size());
    TSectorInfo info;
    ASSERT_TRUE(FindSector(fdc.Drive(0), c, 0, 1, info, 0));
    EXPECT_TRUE(info.DataCrcOk);
  }
  Seek(0);
  now = 700000 * 20 + 6230 * 112;  // just before the wrapping ID
  fdc.WriteRegister(kCmd, 0xC0);
  EXPECT_EQ(fdc.EndTact - fdc.NextByteTact, 6u * 112);
  EXPECT_EQ(fdc.NextByteTact - now, (6249u - 6230u) * 112) << "this turn, across the index";
  auto id = ReadAll();
  ASSERT_EQ(id.size(), 6u);
  EXPECT_EQ(id[2], 1);
  EXPECT_EQ(fdc.Status & 0x08, 0);
}

TEST_F(Vg93, OversizedSectorIsNotFound) {
  TTrack t = BlankTrack(6250);
  uint32_t p = PutField(t, 100, 0xFE, {0, 0, 1, 6});  // 8192 bytes on a 6250-byte track
  PutField(t, p + 20, 0xFB, {1, 2, 3});
  TDiskContents d(1, 1);
  d.SetTrack(0, 0, t.Data, t.Marks);
  Insert(std::move(d));
  Select(0, 0);
  fdc.WriteRegister(kSector, 1);
  fdc.WriteRegister(kCmd, 0x80);
  EXPECT_EQ(fdc.Status & 0x10, 0x10);
  EXPECT_TRUE(ReadAll().empty());
}

TEST_F(Vg93, FourSidesAndLongTracks) {
  constexpr uint32_t kLen = 20000;
  TDiskContents d(3, 4);
  std::vector<uint8_t> data(1024);
  for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(k * 3);
  for (int c = 0; c < 3; ++c)
    for (int s = 0; s < 4; ++s) {
      TTrack t = BlankTrack(kLen);
      uint32_t p = PutField(t, 500, 0xFE, {static_cast<uint8_t>(c), static_cast<uint8_t>(s), 1, 3});
      PutField(t, p + 20, 0xFB, data);
      p = PutField(t, kLen - 600, 0xFE, {static_cast<uint8_t>(c), static_cast<uint8_t>(s), 2, 3});
      PutField(t, p + 20, 0xFB, data);  // runs over the index
      d.SetTrack(c, s, t.Data, t.Marks);
    }
  Insert(std::move(d));
  EXPECT_NE(fdc.SectorEntry(0, 2, 1, 2), nullptr);
  EXPECT_EQ(fdc.SectorEntry(0, 2, 3, 2), nullptr) << "the table covers sides 0 and 1";
  Select(0, 1);
  Seek(2);
  for (uint8_t r : {uint8_t{1}, uint8_t{2}}) {
    fdc.WriteRegister(kSector, r);
    fdc.WriteRegister(kCmd, 0x80);
    EXPECT_EQ(ReadAll(), data);
    fdc.WriteRegister(kCmd, 0xA0);
    EXPECT_EQ(WriteAll(data), data.size());
  }
  fdc.WriteRegister(kCmd, 0xE0);
  EXPECT_EQ(ReadN(kLen), TrackOf(0, 2, 1).Data);
  // Write Track rewrites the whole long track byte for byte.
  now = fdc.EndTact + 10;
  fdc.ReadRegister(kLatch);
  fdc.WriteRegister(kCmd, 0xF0);
  for (uint32_t k = 0; k < kLen + 100; ++k) fdc.WriteRegister(kData, 0x4E);
  EXPECT_EQ(TrackOf(0, 2, 1).Data, std::vector<uint8_t>(kLen, 0x4E));
  EXPECT_EQ(TrackOf(0, 2, 0).Data.size(), kLen);
  fdc.WriteRegister(kSector, 1);
  fdc.WriteRegister(kCmd, 0x80);
  EXPECT_EQ(fdc.Status & 0x10, 0x10);
}

TEST_F(Vg93, InsertingADiskClearsTheTransfer) {
  Insert(PatternDisk(2, 2));
  Select(0, 0);
  fdc.WriteRegister(kSector, 1);
  fdc.WriteRegister(kCmd, 0xA0);
  Insert(PatternDisk(1, 1));
  for (int k = 0; k < 300; ++k) fdc.WriteRegister(kData, 0x11);
  EXPECT_FALSE(fdc.Drive(0).Modified);
}

TEST(Vg93Threads, StateWindowReadsAreSerialisedWithThePorts) {
  std::atomic<uint64_t> now{0};
  T1818VG93 fdc{[&] { return now.load(); }};
  fdc.InsertDisk(0, PatternDisk(2, 2), ImageFormat::Trd, false, "");
  fdc.WriteRegister(kLatch, 0x18);
  std::atomic<bool> stop{false};
  std::thread window([&] {
    while (!stop) {
      fdc.ReadRegister(kCmd);
      fdc.ReadRegister(kLatch);
    }
  });
  for (int round = 0; round < 200; ++round) {
    fdc.WriteRegister(kSector, static_cast<uint8_t>(1 + round % 16));
    fdc.WriteRegister(kCmd, round % 2 ? 0xA0 : 0x80);
    for (int k = 0; k < 256; ++k) {
      now += 112 * 600;
      if (round % 2)
        fdc.WriteRegister(kData, 0);
      else
        fdc.ReadRegister(kData);
    }
  }
  stop = true;
  window.join();
  SUCCEED();
}

TEST_F(Vg93, WriteSectorCutShortStaysOnItsOwnDisk) {
  Insert(PatternDisk(2, 2), 0);
  Insert(PatternDisk(2, 2), 1);
  Select(0, 0);
  fdc.WriteRegister(kSector, 2);
  fdc.WriteRegister(kCmd, 0xA0);
  ASSERT_TRUE(WaitDrq());
  for (int k = 0; k < 10; ++k) fdc.WriteRegister(kData, 0xAB);
  Select(1, 0);  // the latch moves on mid-sector
  for (int k = 0; k < 10; ++k) fdc.WriteRegister(kData, 0xCD);
  fdc.WriteRegister(kCmd, 0xD8);
  EXPECT_TRUE(fdc.Drive(0).Modified);
  EXPECT_FALSE(fdc.Drive(1).Modified);
  // The half-written sector is still found and reads back as written.
  Select(0, 0);
  now += 10;
  fdc.WriteRegister(kCmd, 0x80);
  auto data = ReadAll();
  ASSERT_EQ(data.size(), 256u);
  EXPECT_EQ(data[9], 0xAB);
  EXPECT_EQ(data[19], 0xCD);
  EXPECT_EQ(data[20], Pattern(0, 0, 2, 20));
}

// A sector command that ends at T-state 0 must not stay busy for good.
TEST_F(Vg93, SectorEndingAtTheFirstTStateLeavesBusySoon) {
  Insert(PatternDisk(4, 2));
  Select(0, 0);
  Seek(1);
  fdc.WriteRegister(kSector, 1);
  fdc.WriteRegister(kCmd, 0x80);
  auto data = ReadN(255);
  ASSERT_EQ(data.size(), 255u);
  ASSERT_TRUE(WaitDrq());
  now = 0;  // the machine's counter restarted under a running command
  fdc.ReadRegister(kData);
  now = 1;
  EXPECT_EQ(fdc.ReadRegister(kCmd) & 0x01, 0) << "not busy once time moves on";
}

// A side the disk lacks, or a track missing from it, under a track command
// that TR-DOS feeds or drains byte by byte as long as DRQ comes: the command
// still ends with INTRQ within three turns and changes no track.
TEST_F(Vg93, TrackCommandsOnAMissingTrackEndWithinThreeTurns) {
  struct Case {
    const char* name;
    int sides;
    int cylinder, side;
    uint8_t command;
  };
  const Case cases[] = {
      {"read track, side 1 of a one-sided disk", 1, 2, 1, 0xE0},
      {"write track, side 1 of a one-sided disk", 1, 2, 1, 0xF0},
      {"read track, a track missing from the disk", 2, 3, 1, 0xE0},
      {"write track, a track missing from the disk", 2, 3, 1, 0xF0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TDiskContents d = PatternDisk(5, c.sides);
    if (c.sides == 2) d = [&] {
      TDiskContents gap(5, 2);
      for (int cyl = 0; cyl < 5; ++cyl)
        for (int s = 0; s < 2; ++s)
          if (cyl != c.cylinder || s != c.side) {
            const TTrack* t = d.Track(cyl, s);
            gap.SetTrack(cyl, s, t->Data, t->Marks);
          }
      return gap;
    }();
    Insert(std::move(d));
    std::vector<std::vector<uint8_t>> before;
    for (int cyl = 0; cyl < 5; ++cyl)
      for (int s = 0; s < c.sides; ++s) {
        const TTrack* t = fdc.Drive(0).Disk().Track(cyl, s);
        before.push_back(t ? t->Data : std::vector<uint8_t>{});
      }
    Select(0, c.side);
    Seek(c.cylinder);
    now = 700000 * 9 + 123456;
    const uint64_t start = now;
    fdc.WriteRegister(kCmd, c.command);
    bool ended = false;
    for (; now - start <= 3 * T1818VG93::kTurn; now += 112) {
      const uint8_t lines = fdc.ReadRegister(kLatch);
      if (lines & 0x80) {
        ended = true;
        break;
      }
      if (lines & 0x40) {
        if (c.command == 0xE0)
          fdc.ReadRegister(kData);
        else
          fdc.WriteRegister(kData, 0xF5);
      }
    }
    EXPECT_TRUE(ended) << "INTRQ after " << (now - start) << " T-states";
    EXPECT_EQ(fdc.Operation, T1818VG93::kIdle);
    EXPECT_FALSE(fdc.Drive(0).Modified);
    size_t k = 0;
    for (int cyl = 0; cyl < 5; ++cyl)
      for (int s = 0; s < c.sides; ++s, ++k) {
        const TTrack* t = fdc.Drive(0).Disk().Track(cyl, s);
        EXPECT_EQ(t ? t->Data : std::vector<uint8_t>{}, before[k]) << cyl << "/" << s;
      }
    EXPECT_EQ(fdc.Drive(0).Disk().Track(c.cylinder, c.side), nullptr);
  }
}
