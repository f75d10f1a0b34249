#include "GifWriter.h"

#include <cstdio>
#include <unordered_map>

namespace {

constexpr int kRedLevels = 6, kGreenLevels = 7, kBlueLevels = 6;

int Level(int AValue, int ALevels) {
  return (AValue * (ALevels - 1) + 127) / 255;
}

// Packs variable-width codes least significant bit first into 255-byte sub-blocks.
class TCodeWriter {
 public:
  explicit TCodeWriter(std::vector<uint8_t> &AOut) : FOut(AOut) {}
  void Put(int ACode, int ABits) {
    FBuffer |= static_cast<uint32_t>(ACode) << FCount;
    FCount += ABits;
    while (FCount >= 8) {
      Byte(static_cast<uint8_t>(FBuffer & 0xFF));
      FBuffer >>= 8;
      FCount -= 8;
    }
  }
  void Finish() {
    if (FCount > 0) Byte(static_cast<uint8_t>(FBuffer & 0xFF));
    FBuffer = 0;
    FCount = 0;
    FlushBlock();
    FOut.push_back(0);  // block terminator
  }

 private:
  void Byte(uint8_t AByte) {
    FBlock.push_back(AByte);
    if (FBlock.size() == 255) FlushBlock();
  }
  void FlushBlock() {
    if (FBlock.empty()) return;
    FOut.push_back(static_cast<uint8_t>(FBlock.size()));
    FOut.insert(FOut.end(), FBlock.begin(), FBlock.end());
    FBlock.clear();
  }
  std::vector<uint8_t> &FOut;
  std::vector<uint8_t> FBlock;
  uint32_t FBuffer = 0;
  int FCount = 0;
};

void Put16(std::vector<uint8_t> &AOut, int AValue) {
  AOut.push_back(static_cast<uint8_t>(AValue & 0xFF));
  AOut.push_back(static_cast<uint8_t>((AValue >> 8) & 0xFF));
}

}  // namespace

std::vector<uint8_t> EncodeGif(const uint8_t *ARgb, int AWidth, int AHeight, int AStride) {
  std::vector<uint8_t> out;
  if (!ARgb || AWidth <= 0 || AHeight <= 0 || AWidth > 65535 || AHeight > 65535) return out;
  const char header[] = "GIF89a";
  out.insert(out.end(), header, header + 6);
  Put16(out, AWidth);
  Put16(out, AHeight);
  out.push_back(0xF7);  // global colour table of 256 entries, 8-bit colour resolution
  out.push_back(0);     // background colour
  out.push_back(0);     // no aspect information
  for (int i = 0; i < 256; ++i) {
    int r = 0, g = 0, b = 0;
    if (i < kRedLevels * kGreenLevels * kBlueLevels) {
      r = i / (kGreenLevels * kBlueLevels) * 255 / (kRedLevels - 1);
      g = i / kBlueLevels % kGreenLevels * 255 / (kGreenLevels - 1);
      b = i % kBlueLevels * 255 / (kBlueLevels - 1);
    }
    out.push_back(static_cast<uint8_t>(r));
    out.push_back(static_cast<uint8_t>(g));
    out.push_back(static_cast<uint8_t>(b));
  }
  out.push_back(0x2C);  // image descriptor
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, AWidth);
  Put16(out, AHeight);
  out.push_back(0);  // no local colour table, not interlaced
  const int minCodeSize = 8;
  out.push_back(minCodeSize);

  const int clearCode = 1 << minCodeSize, endCode = clearCode + 1;
  TCodeWriter writer(out);
  std::unordered_map<int, int> dict;
  dict.reserve(8192);
  int codeSize = minCodeSize + 1;
  int next = endCode + 1;
  writer.Put(clearCode, codeSize);
  int prefix = -1;
  for (int y = 0; y < AHeight; ++y) {
    const uint8_t *row = ARgb + static_cast<size_t>(y) * AStride;
    for (int x = 0; x < AWidth; ++x) {
      const uint8_t *p = row + 3 * x;
      int index =
          (Level(p[0], kRedLevels) * kGreenLevels + Level(p[1], kGreenLevels)) * kBlueLevels +
          Level(p[2], kBlueLevels);
      if (prefix < 0) {
        prefix = index;
        continue;
      }
      int key = (prefix << 8) | index;
      auto found = dict.find(key);
      if (found != dict.end()) {
        prefix = found->second;
        continue;
      }
      writer.Put(prefix, codeSize);
      if (next < 4096) {
        dict.emplace(key, next++);
        if (next > (1 << codeSize) && codeSize < 12) ++codeSize;
      } else {
        // Table full: start a new one.
        writer.Put(clearCode, codeSize);
        dict.clear();
        codeSize = minCodeSize + 1;
        next = endCode + 1;
      }
      prefix = index;
    }
  }
  writer.Put(prefix, codeSize);
  writer.Put(endCode, codeSize);
  writer.Finish();
  out.push_back(0x3B);  // trailer
  return out;
}

bool WriteGif(const std::string &AFile, const uint8_t *ARgb, int AWidth, int AHeight, int AStride) {
  std::vector<uint8_t> data = EncodeGif(ARgb, AWidth, AHeight, AStride);
  if (data.empty()) return false;
  FILE *f = std::fopen(AFile.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}
