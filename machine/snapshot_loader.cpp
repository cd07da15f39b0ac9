#include "machine/snapshot_loader.h"

#include <cstring>
#include <new>

#include "disk/file_extensions.h"
#include "platform/dialogs.h"
#include "platform/files.h"

namespace {

using platform::MsgIcon;
using snapshot::Message;

void Show(const Message& m) {
  platform::ShowMessage(m.caption, m.text, platform::MsgButtons::Ok, m.icon);
}

using ReadFn = snapshot::ReadResult (*)(std::span<const uint8_t>);

// Reads the whole file, has it checked, and only then changes the machine.
// A file larger than the format can mean is refused before it is read.
bool LoadWith(TZXHardware& machine, const std::string& fileName, ReadFn read, size_t largest,
              const char* tooLarge, const char* caption, MsgIcon icon) {
  snapshot::ReadResult result;
  try {
    platform::InputFile file(fileName);
    if (file.ok() && file.size() > largest) {
      Show(Message{caption, tooLarge, icon});
      return false;
    }
    auto bytes = file.ReadAll();
    if (!bytes) {
      Show(Message{caption, "File open error!", icon});
      return false;
    }
    result = read(*bytes);
  } catch (const std::bad_alloc&) {
    // A file too large to hold is no snapshot of ours either.
    Show(Message{caption, "File open error!", icon});
    return false;
  }
  if (!result.ok()) {
    Show(result.error);
    return false;
  }
  ApplySnapshot(machine, *result.snapshot);
  return true;
}

// Where address a of the 48K map lies once the latches are reset: the 48 ROM
// slot, page 5, page 2 and the page mapped at #C000.
uint8_t* Map48(TZXHardware& m, uint32_t a) {
  switch (a >> 14) {
    case 0: return m.Rom48Slot + (a & 0x3FFF);
    case 1: return m.RamPages[5] + (a & 0x3FFF);
    case 2: return m.RamPages[2] + (a & 0x3FFF);
    default: return m.WindowC000() + (a & 0x3FFF);
  }
}

}  // namespace

void SnapshotLoaderReset(TZXHardware& machine, uint8_t port7ffd) {
  machine.SoundChip.ResetRegisters();
  machine.TrdosActive = 0;
  machine.WritePortDFFD(0);
  machine.WritePort1FFD(0);
  machine.WritePortFDFD(0);
  machine.WritePort7FFD(port7ffd);
}

void ApplySnapshot(TZXHardware& machine, const snapshot::Snapshot& s) {
  SnapshotLoaderReset(machine, s.port7ffd);

  if (s.ay_registers) {
    for (int r = 0; r < 16; ++r) {
      machine.SoundChip.SelectRegister(static_cast<uint8_t>(r));
      machine.SoundChip.WriteRegisterValue((*s.ay_registers)[r]);
    }
  }

  // The #C000 part of a 48K machine goes to the page the reset left mapped
  // there, whatever the model made of the latch.
  for (const auto& p : s.pages) {
    uint8_t* dest = nullptr;
    switch (p.target) {
      case snapshot::PageTarget::Ram: dest = machine.RamPages[p.ram_page & 7]; break;
      case snapshot::PageTarget::RamAtC000: dest = machine.WindowC000(); break;
      case snapshot::PageTarget::Rom48: dest = machine.Rom48Slot; break;
      case snapshot::PageTarget::Rom128: dest = machine.Rom128Slot; break;
    }
    std::memcpy(dest, p.bytes.data(), snapshot::kPageSize);
  }
  if (s.patch) {
    uint32_t a = s.patch->start;
    for (uint8_t b : s.patch->bytes) *Map48(machine, a++) = b;
  }

  TZ80State& cpu = machine.Cpu();
  const snapshot::Registers& g = s.regs;
  cpu.PC = g.PC;
  cpu.SP = g.SP;
  cpu.IR = g.IR;
  cpu.AF = g.AF;
  cpu.HL = g.HL;
  cpu.DE = g.DE;
  cpu.BC = g.BC;
  cpu._AF = g._AF;
  cpu._HL = g._HL;
  cpu._DE = g._DE;
  cpu._BC = g._BC;
  cpu.IX = g.IX;
  cpu.IY = g.IY;
  cpu.Req.IFF1 = g.IFF1 ? 1 : 0;
  cpu.Req.IFF2 = g.IFF2 ? 1 : 0;
  cpu.Req.IM = g.IM;
  cpu.Req.Halted = g.Halted;
  // Whatever the stopped processor was in the middle of belongs to the old
  // state, not to the snapshot's.
  cpu.Req.AfterEI = 0;
  cpu.Req.PrefixRun = 0;
  if (s.border) machine.BorderLatch = *s.border;
  if (s.trdos_active) machine.TrdosActive = 1;

  if (s.pc_from_stack) {
    // The 48K .SNA keeps PC on the stack, as RETN would find it.
    const uint8_t lo = machine.Read(cpu.SP);
    const uint8_t hi = machine.Read(static_cast<uint16_t>(cpu.SP + 1));
    cpu.PC = static_cast<uint16_t>(lo | (hi << 8));
    cpu.SP = static_cast<uint16_t>(cpu.SP + 2);
  }
  // Told once the machine holds the whole snapshot, so that nothing shows a
  // half-loaded machine while a message waits.
  for (const auto& n : s.notices) Show(n);
}

bool LoadZ80(TZXHardware& m, const std::string& f) {
  return LoadWith(m, f, snapshot::ReadZ80, snapshot::kLargestZ80, "File corrupt!", snapshot::kPlainCaption,
                  MsgIcon::None);
}
bool LoadSNA(TZXHardware& m, const std::string& f) {
  return LoadWith(m, f, snapshot::ReadSNA, snapshot::kLargestSna, "File corrupt!", snapshot::kPlainCaption,
                  MsgIcon::None);
}
bool LoadSIT(TZXHardware& m, const std::string& f) {
  return LoadWith(m, f, snapshot::ReadSIT, snapshot::kLargestSit, "Incorrect format of SIT file!",
                  snapshot::kSitCaption, MsgIcon::Warning);
}
bool LoadSP(TZXHardware& m, const std::string& f) {
  return LoadWith(m, f, snapshot::ReadSP, snapshot::kLargestSp, "File corrupt!", snapshot::kSpCaption,
                  MsgIcon::Warning);
}
bool LoadZX(TZXHardware& m, const std::string& f) {
  return LoadWith(m, f, snapshot::ReadZX, snapshot::kLargestZx, "File corrupt!", snapshot::kZxCaption,
                  MsgIcon::Warning);
}

bool LoadSnapshot(TZXHardware& machine, const std::string& fileName) {
  const std::string ext = disk::UpperExtension(fileName);
  bool loaded = false;
  machine.ChangeWithCpuStopped([&] {
    if (ext == ".Z80") {
      loaded = LoadZ80(machine, fileName);
    } else if (ext == ".SNA") {
      loaded = LoadSNA(machine, fileName);
    } else if (ext == ".SIT") {
      loaded = LoadSIT(machine, fileName);
    } else if (ext == ".SP") {
      loaded = LoadSP(machine, fileName);
    } else if (ext == ".ZX") {
      loaded = LoadZX(machine, fileName);
    } else {
      platform::ShowMessage(snapshot::kPlainCaption, "Unsupported file format: " + ext + " !");
    }
  });
  return loaded;
}

snapshot::Z80SaveState GatherZ80State(TZXHardware& machine) {
  snapshot::Z80SaveState st;
  const TZ80State& cpu = machine.Cpu();
  st.regs.PC = cpu.PC;
  st.regs.SP = cpu.SP;
  st.regs.IR = cpu.IR;
  st.regs.AF = cpu.AF;
  st.regs.HL = cpu.HL;
  st.regs.DE = cpu.DE;
  st.regs.BC = cpu.BC;
  st.regs._AF = cpu._AF;
  st.regs._HL = cpu._HL;
  st.regs._DE = cpu._DE;
  st.regs._BC = cpu._BC;
  st.regs.IX = cpu.IX;
  st.regs.IY = cpu.IY;
  st.regs.IFF1 = cpu.Req.IFF1 ? 1 : 0;
  st.regs.IFF2 = cpu.Req.IFF2 ? 1 : 0;
  st.regs.IM = static_cast<uint8_t>(cpu.Req.IM & 3);
  st.border = machine.BorderLatch & 7;
  st.port7ffd = machine.Port7FFD;

  // Read through the chip as the program would, then put its selection back.
  TAYHardware& ay = machine.SoundChip;
  const uint8_t selected = static_cast<uint8_t>(ay.SelectedRegister);
  for (int r = 0; r < 16; ++r) {
    ay.SelectRegister(static_cast<uint8_t>(r));
    st.ay_registers[r] = ay.ReadSelectedRegister();
  }
  ay.SelectRegister(selected);

  if (snapshot::IsZ80State48K(machine.Port7FFD)) {
    st.ram[0] = machine.RamPages[5];
    st.ram[1] = machine.RamPages[2];
    st.ram[2] = machine.WindowC000();
  } else {
    for (int p = 0; p < 8; ++p) st.ram[p] = machine.RamPages[p];
  }
  return st;
}

bool SaveZ80(TZXHardware& machine, const std::string& fileName) {
  if (!platform::ConfirmOverwrite(fileName)) return false;
  std::vector<Message> notices;
  const std::vector<uint8_t> file = snapshot::BuildZ80File(GatherZ80State(machine), &notices);
  for (const auto& n : notices) Show(n);
  if (!platform::WriteFileAtomic(fileName, file)) {
    platform::ShowMessage(snapshot::kPlainCaption,
                          "File write error!\n" + platform::ShortenForMessage(fileName) +
                              "\nThe file was not changed.");
    return false;
  }
  return true;
}

bool SaveSnapshot(TZXHardware& machine, const std::string& fileName,
                  const std::string& defaultExtension) {
  std::string name = fileName;
  const std::string ext = disk::UpperExtension(name);
  if (ext.empty()) {
    name += defaultExtension;
  } else if (ext != ".Z80") {
    platform::ShowMessage(snapshot::kPlainCaption, "Unsupported save for " + ext + " !");
    return false;
  }
  bool saved = false;
  machine.WithCpuStopped([&] { saved = SaveZ80(machine, name); });
  return saved;
}
