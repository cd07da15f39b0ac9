// The beam renderer. The ULA draws the picture while the processor runs,
// two pixels per T-state, fetching a bitmap byte and its attribute every
// four paper T-states. Drawing lazily up to the T-state of each write that
// can change the picture (screen memory, border, paging) gives the same
// result as drawing continuously: border stripes and multicolour effects
// land where the real machine shows them.
//
// The picture is 320 x 240: 24 border lines above and below the 192 paper
// lines, 32 border pixels left and right of the 256 paper pixels. Each
// T-state from the first visible line on has a class in ScreenClassTable, so
// the per-T-state work is a table lookup with no line arithmetic.
#include <algorithm>
#include <cstring>

#include "machine/hardware.h"

namespace {

constexpr uint8_t kInvisible = 0, kPaper = 1, kBorder = 2, kEnd = 3;
constexpr int64_t kPictureLines = 240;
constexpr int64_t kTopBorderLines = 24;
constexpr int64_t kPaperLines = 192;
// The class table covers the frame from the first visible line; the timing
// rules keep that below 340,000 T-states, and no timing set, checked or
// not, can make the table larger than this.
constexpr int64_t kMaxClassTable = 1 << 20;

// First bitmap and attribute byte of each character row: the bitmap is
// stored in thirds of 8 rows, pixel lines of a row 256 bytes apart.
constexpr std::array<uint32_t, 24> MakeRowBitmapStart() {
  std::array<uint32_t, 24> t{};
  for (uint32_t row = 0; row < 24; ++row) t[row] = (row / 8) * 2048 + (row % 8) * 32;
  return t;
}
constexpr std::array<uint32_t, 24> MakeRowAttrStart() {
  std::array<uint32_t, 24> t{};
  for (uint32_t row = 0; row < 24; ++row) t[row] = 6144 + row * 32;
  return t;
}
constexpr std::array<uint32_t, 24> CharRowBitmapStart = MakeRowBitmapStart();
constexpr std::array<uint32_t, 24> CharRowAttrStart = MakeRowAttrStart();

inline void StorePair(uint8_t* at, uint8_t left, uint8_t right) {
  at[0] = left;
  at[1] = right;
}

// Each bitmap byte spread to 8 bytes, 0xFF for a set bit (the leftmost
// pixel in the lowest byte), so 8 pixels are drawn with one store.
constexpr std::array<uint64_t, 256> MakePixelMasks() {
  std::array<uint64_t, 256> t{};
  for (int v = 0; v < 256; ++v)
    for (int b = 0; b < 8; ++b)
      if (v & (0x80 >> b)) t[v] |= uint64_t(0xFF) << (8 * b);
  return t;
}
constexpr std::array<uint64_t, 256> PixelMasks = MakePixelMasks();

// The ULA walks the bitmap a pixel line at a time: 32 bytes, then the same
// character row one pixel line down, and after 8 lines the next row. Each
// bitmap byte comes with the attribute of its character cell.
inline void AdvanceScreenOffsets(uint32_t& bitmap, uint32_t& attr, uint32_t& row) {
  if ((bitmap & 31) != 31) {
    ++bitmap;
    ++attr;
  } else if ((bitmap & 0x700) != 0x700) {
    bitmap = (bitmap & 0x1FE0) + 0x100;
    attr &= 0x1FE0;
  } else {
    const uint32_t r = std::min<uint32_t>(row, 23);
    bitmap = CharRowBitmapStart[r];
    attr = CharRowAttrStart[r];
    ++row;
  }
}

}  // namespace

void TZXHardware::ResetBeam() {
  BeamPixelOffset = 0;
  BeamRowIndex = 0;
  BeamBitmapOffset = 8191;
  BeamPixelMask = 0;
  BeamBitmapByte = 0;
  BeamTableIndex = 0;
  BeamRun = 0;
}

void TZXHardware::InitScreenTiming() {
  {
    std::lock_guard<std::mutex> busy(DisplayBusy);
    const int64_t line = Timing.timeLineTime;
    const int64_t frame = Timing.timeLoopTime;
    int64_t h = static_cast<int64_t>(Timing.timeHorzScreenBegin) + Timing.timeCycleFIX;
    int64_t lines = Timing.timeScreenBeginLines;
    // A paper start too early in the line for the 32 pixels of left border:
    // the same absolute T-state, counted from the line before.
    if (h < 32) {
      lines -= 1;
      h += line;
    }
    const int64_t firstVisible = std::clamp<int64_t>((lines - kTopBorderLines) * line, 0, frame);
    FirstVisibleTact = static_cast<uint32_t>(firstVisible);
    LinePixels = static_cast<uint32_t>(2 * line);
    VisibleStartPixel = 2 * h - 32;
    VisibleEndPixel = 2 * h + 288;
    PaperStartPixel = 2 * h;
    PaperEndPixel = 2 * h + 256;
    ResetBeam();

    // Sized from the frame, with a final end-of-picture entry the beam stops
    // on, so no timing set can make the renderer index past it.
    const int64_t span = std::min<int64_t>(frame - firstVisible, kMaxClassTable);
    ScreenClassTable.assign(static_cast<size_t>(span) + 1, kEnd);
    int64_t x = 0, y = 0;
    const int64_t linePixels = 2 * line;
    for (int64_t i = 0; i < span; ++i) {
      uint8_t c;
      if (y >= kPictureLines) {
        break;  // the rest stays kEnd
      } else if (x < VisibleStartPixel) {
        c = kInvisible;
        x += 2;
      } else if (x >= VisibleEndPixel) {
        c = kInvisible;
        x += 2;
        if (x > linePixels) {
          ++y;
          x -= linePixels;
        }
      } else if (y < kTopBorderLines || y >= kTopBorderLines + kPaperLines ||
                 x < PaperStartPixel || x >= PaperEndPixel) {
        c = kBorder;
        x += 2;
      } else {
        c = kPaper;
        x += 2;
      }
      ScreenClassTable[static_cast<size_t>(i)] = c;
    }
    // Where the beam reads each screen byte: the fetches follow from the
    // table alone, exactly as the renderer will make them.
    ScreenFetchFirst.assign(6912, UINT32_MAX);
    ScreenFetchLast.assign(6912, 0);
    {
      uint32_t bitmap = 8191, attr = 0, row = 0;
      uint8_t mask = 0;
      for (size_t i = 0; i < ScreenClassTable.size() && ScreenClassTable[i] != kEnd; ++i) {
        if (ScreenClassTable[i] != kPaper) continue;
        if (mask == 0) {
          mask = 0x80;
          AdvanceScreenOffsets(bitmap, attr, row);
          for (uint32_t offset : {bitmap, attr}) {
            if (offset >= 6912) continue;
            ScreenFetchFirst[offset] = std::min<uint32_t>(ScreenFetchFirst[offset], uint32_t(i));
            ScreenFetchLast[offset] = std::max<uint32_t>(ScreenFetchLast[offset], uint32_t(i));
          }
        }
        mask = static_cast<uint8_t>(mask >> 2);
      }
    }
    ScreenClassRuns.clear();
    for (size_t i = 0; i < ScreenClassTable.size(); ++i) {
      const uint8_t c = ScreenClassTable[i];
      if (ScreenClassRuns.empty() || ScreenClassRuns.back().Class != c)
        ScreenClassRuns.push_back({0, c});
      ScreenClassRuns.back().End = static_cast<uint32_t>(i + 1);
    }
    FramePeriodTicks = CPUClockHz / 50;
  }

  for (int a = 0; a < 256; ++a) {
    const int bright = (a & 0x40) ? 8 : 0;
    InkColourTable[a] = static_cast<uint8_t>(16 + (a & 7) + bright);
    PaperColourTable[a] = static_cast<uint8_t>(16 + ((a >> 3) & 15));
    const uint64_t ink = InkColourTable[a] * 0x0101010101010101ull;
    const uint64_t paper = PaperColourTable[a] * 0x0101010101010101ull;
    const bool flashing = a & 0x80;
    paperPixels_[0][a] = paper;
    paperPixels_[1][a] = flashing ? ink : paper;
    // A set bit turns paper into ink: the same difference in both phases.
    inkXorPaperPixels_[a] = ink ^ paper;
  }
  SoundChip.SetFrameLength(static_cast<int32_t>(Timing.timeLoopTime));
}

void TZXHardware::RenderToTact(uint32_t tact) {
  // Nothing new to draw. The beam state changes only on the thread that
  // steps the processor, or while it is stopped, so it may be read here.
  if (!HiResMode && (tact < FirstVisibleTact || tact <= LastRenderedTact)) return;
  // Another display routine is at work: leave these T-states to a later call.
  if (!DisplayBusy.try_lock()) return;
  if (HiResMode)
    RenderHiRes(tact);
  else
    RenderNormal(tact);
  DisplayBusy.unlock();
}

// The attribute gives the ink and paper of the next 8 pixels.
__attribute__((always_inline)) inline void TZXHardware::FetchScreenByte() {
  AdvanceScreenOffsets(BeamBitmapOffset, BeamAttrOffset, BeamRowIndex);
  BeamBitmapByte = ScreenPage[BeamBitmapOffset];
  const uint8_t attr = ScreenPage[BeamAttrOffset];
  BeamInk = InkColourTable[attr];
  BeamPaper = PaperColourTable[attr];
  BeamFlash = attr & 0x80;
}

// count paper T-states, one pixel pair each. A byte is read when its first
// pair is drawn, so a write during its other three T-states shows only from
// the next byte on. Whole bytes are drawn 8 pixels at a time.
void TZXHardware::DrawPaper(uint32_t count) {
  uint8_t* out = FrameBuffer + BeamPixelOffset;
  auto pair = [&] {
    if (BeamPixelMask == 0) {
      BeamPixelMask = 0x80;
      FetchScreenByte();
    }
    uint8_t ink = BeamInk, paper = BeamPaper;
    if (FlashPhase && BeamFlash) std::swap(ink, paper);
    const uint8_t mask = BeamPixelMask;
    StorePair(out, (BeamBitmapByte & mask) ? ink : paper,
              (BeamBitmapByte & (mask >> 1)) ? ink : paper);
    out += 2;
    BeamPixelMask = static_cast<uint8_t>(mask >> 2);
    --count;
  };
  while (count && BeamPixelMask) pair();
  if (count >= 4) {
    // The beam state lives in locals here: a store into the picture may
    // alias any member, which would make the compiler reload them all for
    // every byte.
    const uint64_t* paperPixels = paperPixels_[FlashPhase & 1].data();
    const uint64_t* inkXorPaperPixels = inkXorPaperPixels_.data();
    const uint8_t* const screen = ScreenPage;
    uint32_t bitmap = BeamBitmapOffset, attrOffset = BeamAttrOffset, row = BeamRowIndex;
    uint8_t* to = out;
    uint32_t left = count;
    uint8_t bits = 0, attr = 0;
    do {
      AdvanceScreenOffsets(bitmap, attrOffset, row);
      // The rest of this pixel line lies in consecutive bitmap and
      // attribute bytes.
      const uint32_t bytes = std::min(32 - (bitmap & 31), left / 4);
      const uint8_t* bitmapBytes = screen + bitmap;
      const uint8_t* attrBytes = screen + attrOffset;
      for (uint32_t i = 0; i < bytes; ++i) {
        const uint8_t a = attrBytes[i];
        const uint64_t pixels = paperPixels[a] ^ (PixelMasks[bitmapBytes[i]] & inkXorPaperPixels[a]);
        std::memcpy(to + 8 * i, &pixels, 8);
      }
      to += 8 * bytes;
      bits = bitmapBytes[bytes - 1];
      attr = attrBytes[bytes - 1];
      bitmap += bytes - 1;
      attrOffset += bytes - 1;
      left -= 4 * bytes;
    } while (left >= 4);
    out = to;
    count = left;
    BeamBitmapOffset = bitmap;
    BeamAttrOffset = attrOffset;
    BeamRowIndex = row;
    BeamBitmapByte = bits;
    BeamInk = InkColourTable[attr];
    BeamPaper = PaperColourTable[attr];
    BeamFlash = attr & 0x80;
  }
  while (count) pair();
  BeamPixelOffset = static_cast<uint32_t>(out - FrameBuffer);
}

void TZXHardware::RenderNormal(uint32_t tact) {
  if (tact < FirstVisibleTact) return;
  const int64_t n = static_cast<int64_t>(tact) - static_cast<int64_t>(LastRenderedTact);
  LastRenderedTact = tact;
  if (n <= 0) return;
  const uint8_t border = static_cast<uint8_t>(16 + (BorderLatch & 7));
  uint64_t remaining = static_cast<uint64_t>(n);
  while (remaining) {
    const TClassRun& run = ScreenClassRuns[BeamRun];
    if (run.Class == kEnd) return;  // the beam stays on the end of the picture
    const uint32_t count =
        static_cast<uint32_t>(std::min<uint64_t>(run.End - BeamTableIndex, remaining));
    if (run.Class == kBorder) {
      std::memset(FrameBuffer + BeamPixelOffset, border, 2 * size_t(count));
      BeamPixelOffset += 2 * count;
    } else if (run.Class == kPaper) {
      DrawPaper(count);
    }
    BeamTableIndex += count;
    remaining -= count;
    if (BeamTableIndex == run.End) ++BeamRun;
  }
}

// The Profi's 512 x 240 mode: a line every 200 T-states whatever the
// timing, each pixel doubled vertically into the 640 x 480 picture. Each
// column shows two bytes, the left from the upper 8 KB of the page.
void TZXHardware::RenderHiRes(uint32_t tact) {
  const uint32_t target = std::min<uint32_t>(tact / 200, 240);
  if (HiResLinesDone > 239) return;
  const uint8_t border = static_cast<uint8_t>(16 + (7 - (BorderLatch & 7)));
  for (uint32_t y = HiResLinesDone; y < target; ++y) {
    const uint32_t o = (y >> 6) * 2048 + (y & 7) * 256 + ((y & 0x38) >> 3) * 32;
    uint8_t* row = FrameBuffer + static_cast<size_t>(2 * y) * 640;
    std::memset(row, border, 64);
    std::memset(row + 576, border, 64);
    uint8_t* p = row + 64;
    for (uint32_t c = 0; c < 32; ++c) {
      for (uint32_t half = 0; half < 2; ++half) {
        const uint32_t at = o + c + (half == 0 ? 0x2000 : 0);
        const uint8_t bits = HiResBitmapPage[at];
        const uint8_t attr = HiResAttrPage[at];
        const uint8_t ink = InkColourTable[attr];
        // No flash here: attribute bit 7 brightens the paper instead.
        const uint8_t paper = PaperColourTable[attr | ((attr & 0x80) >> 1)];
        for (int b = 7; b >= 0; --b) *p++ = ((bits >> b) & 1) ? ink : paper;
      }
    }
    std::memcpy(row + 640, row, 640);
  }
  if (target > HiResLinesDone) HiResLinesDone = target;
}

// The byte the ULA is fetching when nothing else drives the data bus: the
// bitmap or attribute byte under the beam during the paper, else idle.
uint8_t TZXHardware::ReadFloatingBus() {
  const uint8_t idle = cpu_->Req.IntVector.load(std::memory_order_relaxed);
  // Drawn up to now first, so the beam stands at the current T-state.
  if (!DisplayBusy.try_lock()) return idle;
  if (!HiResMode) RenderNormal(CurrentTact());
  uint8_t result = idle;
  if (FrameTact >= FirstVisibleTact && BeamTableIndex < ScreenClassTable.size() &&
      ScreenClassTable[BeamTableIndex] == kPaper && BeamBitmapOffset >= 1 &&
      BeamBitmapOffset <= 0x1800 && BeamAttrOffset >= 0x1801 && BeamAttrOffset <= 0x1B00) {
    result = (BeamPixelMask & 0x33) ? ScreenPage[BeamAttrOffset - 1]
                                    : ScreenPage[BeamBitmapOffset - 1];
  }
  DisplayBusy.unlock();
  return result;
}

void TZXHardware::EndFrame() {
  RenderToTact(Timing.timeLoopTime);
  std::lock_guard<std::mutex> busy(DisplayBusy);
  PresentFrame();
  ResetBeam();
  LastRenderedTact = FirstVisibleTact;
  HiResLinesDone = 0;
}

// Flash swaps ink and paper every 16 frames; counted here so the picture
// flashes with or without a display attached.
void TZXHardware::PresentFrame() {
  if (++FlashCounter >= 16) {
    FlashCounter = 0;
    FlashPhase ^= 1;
  }
  display_->PresentFrame(*this);
}

void TZXHardware::SetScreenMode(int mode) {
  const uint8_t hiRes = mode ? 1 : 0;
  if (hiRes == HiResMode) return;
  std::lock_guard<std::mutex> busy(DisplayBusy);
  HiResMode = hiRes;
  ScreenWidth = hiRes ? 640 : 320;
  PictureLines = hiRes ? 480 : 240;
  display_->SetScreenMode(*this, hiRes);
}

void TZXHardware::FillPaletteEntries(TPaletteEntry* entries, int count) const {
  for (int i = 0; i < count; ++i) {
    const uint8_t* rgb = (i >= 16 && i < 32) ? &SpectrumPalette[(i - 16) * 3]
                                             : &GuiPalette[(i & 15) * 3];
    entries[i] = {rgb[0], rgb[1], rgb[2], 0};
  }
}
