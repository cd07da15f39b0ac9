// A 16-bit stereo WAV file written as the audio comes: the header is brought
// up to date after every write, so the file is complete whenever it is read.
// Used for capturing what the plug-in plays (KELVORA_WAV).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "sound/engine.h"

namespace kelvora {

class WavOutput final : public AudioOutput {
 public:
  // Null when the file cannot be created.
  static std::unique_ptr<WavOutput> Create(const std::string& path, int rate);
  ~WavOutput() override;

  int Rate() const override { return rate_; }
  int Queued() override { return -1; }
  void Write(const int16_t* stereo, int samples) override;

 private:
  WavOutput(std::FILE* file, int rate) : file_(file), rate_(rate) {}
  void WriteHeader();

  std::FILE* file_;
  int rate_;
  uint64_t dataBytes_ = 0;
};

}  // namespace kelvora
