// The boot file added to SCL archives that have none: a TR-DOS BASIC program
// that shows the catalogue, asks for a program name and runs that program.
#include <array>
#include <string_view>

#include "disk/formats.h"

namespace disk {

namespace {

// Spectrum BASIC keyword tokens used by the program.
enum Token : uint8_t {
  kUsr = 0xC0,
  kLine = 0xCA,
  kThen = 0xCB,
  kCat = 0xCF,
  kPaper = 0xDA,
  kInk = 0xD9,
  kBorder = 0xE7,
  kRem = 0xEA,
  kGoTo = 0xEC,
  kInput = 0xEE,
  kRun = 0xF7,
  kRandomize = 0xF9,
  kIf = 0xFA,
  kCls = 0xFB,
};

constexpr size_t kProgramLength = 0x06FC;  // what the catalogue entry states
constexpr uint16_t kAutostartLine = 10;
constexpr uint16_t kTrdosEntry = 15619;  // TR-DOS command entry in the ROM

class ProgramBuilder {
 public:
  void Text(std::string_view s) {
    for (char ch : s) body_.push_back(static_cast<uint8_t>(ch));
  }
  void Tok(uint8_t t) { body_.push_back(t); }
  // A number as the editor stores it: its digits, then the hidden five-byte
  // small-integer form.
  void Number(uint16_t v) {
    Text(std::to_string(v));
    const uint8_t hidden[6] = {0x0E, 0x00, 0x00, static_cast<uint8_t>(v),
                               static_cast<uint8_t>(v >> 8), 0x00};
    body_.insert(body_.end(), hidden, hidden + 6);
  }
  void EndLine(uint16_t number) {
    body_.push_back(0x0D);
    prog_.push_back(static_cast<uint8_t>(number >> 8));  // line numbers are big-endian
    prog_.push_back(static_cast<uint8_t>(number));
    prog_.push_back(static_cast<uint8_t>(body_.size()));
    prog_.push_back(static_cast<uint8_t>(body_.size() >> 8));
    prog_.insert(prog_.end(), body_.begin(), body_.end());
    body_.clear();
  }
  size_t Size() const { return prog_.size(); }
  const std::vector<uint8_t>& Program() const { return prog_; }

 private:
  std::vector<uint8_t> body_, prog_;
};

std::array<uint8_t, 1792> BuildBootFile() {
  ProgramBuilder b;
  // 10 BORDER 0: PAPER 0: INK 7: CLS : RANDOMIZE USR 15619: REM : CAT
  b.Tok(kBorder), b.Number(0), b.Text(":"), b.Tok(kPaper), b.Number(0), b.Text(":");
  b.Tok(kInk), b.Number(7), b.Text(":"), b.Tok(kCls), b.Text(":");
  b.Tok(kRandomize), b.Tok(kUsr), b.Number(kTrdosEntry), b.Text(":"), b.Tok(kRem), b.Text(":");
  b.Tok(kCat);
  b.EndLine(10);
  // 20 INPUT "Run: "; LINE n$: IF n$="" THEN GO TO 20
  b.Tok(kInput), b.Text("\"Run: \";"), b.Tok(kLine), b.Text("n$:");
  b.Tok(kIf), b.Text("n$=\"\""), b.Tok(kThen), b.Tok(kGoTo), b.Number(20);
  b.EndLine(20);
  // 30 RANDOMIZE USR 15619: REM : RUN n$
  b.Tok(kRandomize), b.Tok(kUsr), b.Number(kTrdosEntry), b.Text(":"), b.Tok(kRem), b.Text(":");
  b.Tok(kRun), b.Text("n$");
  b.EndLine(30);
  // 40 REM, padding the program to the length its catalogue entry states.
  b.Tok(kRem);
  const size_t used = b.Size() + 4 + 1 + 1;  // line header, REM token, ENTER
  for (size_t k = used; k < kProgramLength; ++k) b.Text(" ");
  b.EndLine(40);

  std::array<uint8_t, 1792> file{};
  const auto& prog = b.Program();
  std::copy(prog.begin(), prog.end(), file.begin());
  // TR-DOS keeps the autostart line after a BASIC program: #80 #AA and the line.
  file[kProgramLength] = 0x80;
  file[kProgramLength + 1] = 0xAA;
  file[kProgramLength + 2] = static_cast<uint8_t>(kAutostartLine);
  file[kProgramLength + 3] = static_cast<uint8_t>(kAutostartLine >> 8);
  return file;
}

}  // namespace

std::span<const uint8_t, 16> BootCatalogueEntry() {
  static constexpr std::array<uint8_t, 16> entry = {
      'b', 'o', 'o', 't', ' ', ' ', ' ', ' ', 'B',  // name and type
      0xFC, 0x06,                                   // program and variables length
      0xFC, 0x06,                                   // program length
      7,                                            // sectors
      9,                                            // first sector
      0,                                            // first track
  };
  return entry;
}

std::span<const uint8_t, 1792> BootFileSectors() {
  static const std::array<uint8_t, 1792> file = BuildBootFile();
  return file;
}

}  // namespace disk
