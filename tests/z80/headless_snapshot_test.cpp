// The register and flag snapshots are part of what libZ80.so exports: an
// outside host builds its own viewer on them with nothing but the library.
#include <gtest/gtest.h>

#include "z80/debugger/z80_unit.h"

namespace {

struct HostViewer : TSnapshotViewer {
  int repaints = 0;
  void Invalidate() override { ++repaints; }
};

TEST(HeadlessSnapshots, ExportedClassesStoreAndRepaintTheirOwner) {
  HostViewer viewer;
  TZ80Registers regs(&viewer);
  TZ80Flags flags(&viewer);
  regs.SetIX(0xDD00);
  flags.SetP_V(3);
  EXPECT_EQ(regs.GetIX(), 0xDD00);
  EXPECT_EQ(flags.GetP_V(), 1);
  EXPECT_EQ(viewer.repaints, 2);
}

}  // namespace
