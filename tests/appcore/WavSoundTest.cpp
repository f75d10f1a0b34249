#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "TempDir.h"
#include "WavSound.h"

namespace {

void PutLE(std::string &s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// 0.1 s of a 440 Hz tone, 16-bit mono 8 kHz.
std::string ToneWav() {
  const uint32_t rate = 8000, samples = 800;
  std::string pcm;
  for (uint32_t i = 0; i < samples; ++i)
    PutLE(pcm,
          static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / rate))),
          2);
  std::string w = "RIFF";
  PutLE(w, 36 + static_cast<uint32_t>(pcm.size()), 4);
  w += "WAVEfmt ";
  PutLE(w, 16, 4);
  PutLE(w, 1, 2);  // PCM
  PutLE(w, 1, 2);  // mono
  PutLE(w, rate, 4);
  PutLE(w, rate * 2, 4);
  PutLE(w, 2, 2);
  PutLE(w, 16, 2);
  w += "data";
  PutLE(w, static_cast<uint32_t>(pcm.size()), 4);
  return w + pcm;
}

}  // namespace

// Runs with SDL's dummy audio driver (set for every test).
TEST(WavSound, PlaysWithoutWaitingAndRefusesWhatIsNoSound) {
  TTempDir dir;
  WriteFileBytes(dir / "ring.wav", ToneWav());
  WriteFileBytes(dir / "bad.wav", "RIFF....not a wave at all");
  TWavSound sound;
  EXPECT_TRUE(sound.Play(dir / "ring.wav")) << sound.LastErrMsg();
  EXPECT_TRUE(sound.Play(dir / "ring.wav")) << "a second sound replaces the first";
  EXPECT_FALSE(sound.Play(dir / "missing.wav"));
  EXPECT_FALSE(sound.LastErrMsg().empty());
  EXPECT_FALSE(sound.Play(dir / "bad.wav"));
}
