#include "PreviewRules.h"

#include <filesystem>

namespace fs = std::filesystem;

int SeekBarPosition(int64_t APts, int64_t ADuration, int AMaximum) {
  if (APts < 0 || ADuration <= 0) return -1;
  int64_t pos = static_cast<int64_t>(AMaximum) * APts / ADuration;
  return static_cast<int>(pos > AMaximum ? AMaximum : pos);
}

int64_t SeekBarTarget(int APosition, int AMaximum, int64_t ADuration) {
  if (AMaximum <= 0 || ADuration <= 0) return 0;
  return ADuration * APosition / AMaximum;
}

std::string SnapshotExtension(const std::string &AType) {
  if (AType == "JPG") return ".jpg";
  if (AType == "GIF") return ".gif";
  if (AType == "PNG") return ".png";
  return ".bmp";
}

std::string NextSnapshotFile(const std::string &AFolder, const std::string &ASource,
                             const std::string &AExtension) {
  // Names may use either separator: sources come from any file chooser.
  std::string name = ASource;
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
  std::string folder = AFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  for (long n = 1;; ++n) {
    std::string file = folder + "/" + name + "_" + std::to_string(n) + AExtension;
    std::error_code ec;
    if (!fs::exists(fs::u8path(file), ec)) return file;
  }
}
