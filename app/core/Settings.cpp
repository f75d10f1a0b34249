#include "Settings.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace {

// A stored folder is used only if it is an absolute path of printable UTF-8; a damaged
// file can hold anything, and a path made of control bytes is no folder to write into.
bool UsableFolder(const std::string &AValue) {
  if (AValue.empty() || AValue.size() >= 4096 || AValue.front() != '/') return false;
  std::size_t i = 0;
  while (i < AValue.size()) {
    unsigned char c = static_cast<unsigned char>(AValue[i]);
    std::size_t extra = 0;
    if (c < 0x20 || c == 0x7F) return false;
    if (c < 0x80)
      extra = 0;
    else if (c >= 0xC2 && c <= 0xDF)
      extra = 1;
    else if (c >= 0xE0 && c <= 0xEF)
      extra = 2;
    else if (c >= 0xF0 && c <= 0xF4)
      extra = 3;
    else
      return false;
    if (i + extra >= AValue.size() && extra > 0) return false;
    for (std::size_t k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(AValue[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

bool KnownPicture(const std::string &AType) {
  return AType == "BMP" || AType == "JPG" || AType == "GIF" || AType == "PNG";
}

}  // namespace

void ForceDirectories(const std::string &AFolder) {
  if (AFolder.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::u8path(AFolder), ec);
}

bool DirectoryExists(const std::string &AFolder) {
  struct stat st {};
  return !AFolder.empty() && ::stat(AFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadOutputFolder(TIniFile &AIni, const std::string &ADefaultFolder) {
  if (AIni.Exists()) {
    std::string value = AIni.ReadString("OutPath", "OutPath", kIniError);
    if (UsableFolder(value)) {
      if (!DirectoryExists(value)) ForceDirectories(value);
      return value;
    }
  }
  if (!DirectoryExists(ADefaultFolder)) ForceDirectories(ADefaultFolder);
  AIni.WriteString("OutPath", "OutPath", ADefaultFolder);
  return ADefaultFolder;
}

bool WriteOutputFolder(TIniFile &AIni, const std::string &AFolder) {
  if (!DirectoryExists(AFolder)) return false;
  return AIni.WriteString("OutPath", "OutPath", AFolder);
}

int ReadSkinIndex(TIniFile &AIni) {
  if (AIni.Exists()) {
    std::string value = AIni.ReadString("Skin", "SetSkin", kIniError);
    // Decimal digits only, at most two of them: anything else is no skin of ours.
    if (!value.empty() && value.size() <= 2 &&
        value.find_first_not_of("0123456789") == std::string::npos) {
      int index = std::stoi(value);
      if (index < kSkinCount) return index;
    }
  }
  AIni.WriteString("Skin", "SetSkin", "0");
  return 0;
}

void WriteSkinIndex(TIniFile &AIni, int AIndex) {
  AIni.WriteString("Skin", "SetSkin", std::to_string(AIndex));
}

std::string ReadSnapshotPicture(TIniFile &AIni) {
  if (AIni.Exists()) {
    std::string value = AIni.ReadString("SnapShot", "Picture", kIniError);
    if (KnownPicture(value)) return value;
  }
  AIni.WriteString("SnapShot", "Picture", "BMP");
  return "BMP";
}

void WriteSnapshotPicture(TIniFile &AIni, const std::string &AType) {
  AIni.WriteString("SnapShot", "Picture", AType);
}

std::string ReadSnapshotDir(TIniFile &AIni, const std::string &ADefaultFolder) {
  if (AIni.Exists()) {
    std::string value = AIni.ReadString("SnapShot", "Dir", kIniError);
    if (UsableFolder(value)) {
      if (!DirectoryExists(value)) ForceDirectories(value);
      return value;
    }
  }
  if (!DirectoryExists(ADefaultFolder)) ForceDirectories(ADefaultFolder);
  AIni.WriteString("SnapShot", "Dir", ADefaultFolder);
  return ADefaultFolder;
}

void WriteSnapshotDir(TIniFile &AIni, const std::string &AFolder) {
  AIni.WriteString("SnapShot", "Dir", AFolder);
}

bool FolderRefusedOnSystem(const std::string &ASystemName, const std::string &AFolder) {
  return (ASystemName == "Windows vista" || ASystemName == "Windows 7") &&
         AFolder.find("Documents and Settings") != std::string::npos;
}
