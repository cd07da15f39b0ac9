#include "sound/wav_writer.h"

#include <cstring>

namespace kelvora {

namespace {
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
constexpr int kHeaderBytes = 44;
// A RIFF size field is 32 bits; stop growing well before it overflows.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - kHeaderBytes - 8;
}  // namespace

std::unique_ptr<WavOutput> WavOutput::Create(const std::string& path, int rate) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return nullptr;
  std::unique_ptr<WavOutput> out(new WavOutput(f, rate));
  out->WriteHeader();
  return out;
}

WavOutput::~WavOutput() {
  if (file_) std::fclose(file_);
}

void WavOutput::WriteHeader() {
  uint8_t h[kHeaderBytes];
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, static_cast<uint32_t>(36 + dataBytes_));
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);  // PCM
  Put16(h + 22, 2);  // stereo
  Put32(h + 24, static_cast<uint32_t>(rate_));
  Put32(h + 28, static_cast<uint32_t>(rate_) * 4);
  Put16(h + 32, 4);
  Put16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, static_cast<uint32_t>(dataBytes_));
  std::fseek(file_, 0, SEEK_SET);
  std::fwrite(h, 1, sizeof h, file_);
  std::fseek(file_, 0, SEEK_END);
}

void WavOutput::Write(const int16_t* stereo, int samples) {
  if (!file_ || samples <= 0) return;
  const uint64_t bytes = static_cast<uint64_t>(samples) * 4;
  if (dataBytes_ + bytes > kMaxDataBytes) return;
  // Little-endian samples, as the host stores them on x86-64.
  if (std::fwrite(stereo, 1, bytes, file_) != bytes) return;
  dataBytes_ += bytes;
  WriteHeader();
  std::fflush(file_);
}

}  // namespace kelvora
