// Writes the program's two sounds as 16-bit mono WAV files: "ring001.wav", the reminder
// at the end of a batch (three rising chime notes), and "cam.wav", the snapshot click.
//   quorvel_make_sounds OUTPUT_FOLDER
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

void Put32(std::FILE *AFile, uint32_t AValue) {
  for (int i = 0; i < 4; ++i) std::fputc(static_cast<int>((AValue >> (8 * i)) & 0xFF), AFile);
}
void Put16(std::FILE *AFile, uint16_t AValue) {
  std::fputc(AValue & 0xFF, AFile);
  std::fputc(AValue >> 8, AFile);
}

bool WriteWav(const std::string &APath, const std::vector<double> &ASamples) {
  std::FILE *f = std::fopen(APath.c_str(), "wb");
  if (!f) return false;
  const uint32_t bytes = static_cast<uint32_t>(ASamples.size() * 2);
  std::fwrite("RIFF", 1, 4, f);
  Put32(f, 36 + bytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  Put32(f, 16);
  Put16(f, 1);  // PCM
  Put16(f, 1);  // mono
  Put32(f, kRate);
  Put32(f, kRate * 2);
  Put16(f, 2);
  Put16(f, 16);
  std::fwrite("data", 1, 4, f);
  Put32(f, bytes);
  for (double s : ASamples) {
    const double c = std::fmax(-1.0, std::fmin(1.0, s));
    Put16(f, static_cast<uint16_t>(static_cast<int16_t>(std::lround(c * 32000))));
  }
  return std::fclose(f) == 0;
}

std::vector<double> Chime() {
  const double notes[] = {659.25, 783.99, 1046.5};  // E5, G5, C6
  std::vector<double> s(static_cast<std::size_t>(kRate * 1.4), 0.0);
  for (int n = 0; n < 3; ++n) {
    const std::size_t start = static_cast<std::size_t>(kRate * 0.22 * n);
    for (std::size_t i = start; i < s.size(); ++i) {
      const double t = double(i - start) / kRate;
      const double env = std::exp(-3.5 * t) * std::fmin(1.0, t * 200);
      s[i] += 0.3 * env *
              (std::sin(2 * kPi * notes[n] * t) + 0.3 * std::sin(2 * kPi * 2 * notes[n] * t));
    }
  }
  return s;
}

std::vector<double> Click() {
  std::vector<double> s(static_cast<std::size_t>(kRate * 0.16), 0.0);
  uint32_t noise = 12345;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double t = double(i) / kRate;
    noise = noise * 1664525u + 1013904223u;
    const double white = (noise >> 8) / double(1 << 24) * 2 - 1;
    // Two short bursts: the shutter opening and closing.
    const double env = std::exp(-120 * t) + 0.6 * (t > 0.07 ? std::exp(-150 * (t - 0.07)) : 0);
    s[i] = 0.8 * env * (0.7 * white + 0.3 * std::sin(2 * kPi * 1800 * t));
  }
  return s;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorvel_make_sounds OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (!WriteWav(dir + "/ring001.wav", Chime()) || !WriteWav(dir + "/cam.wav", Click())) {
    std::perror(dir.c_str());
    return 1;
  }
  return 0;
}
