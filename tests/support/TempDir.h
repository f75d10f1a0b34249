// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <string>

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir &) = delete;
  TTempDir &operator=(const TTempDir &) = delete;

  [[nodiscard]] const std::string &Path() const { return FPath; }
  // Path of a file or folder inside.
  [[nodiscard]] std::string operator/(const std::string &AName) const {
    return FPath + "/" + AName;
  }

 private:
  std::string FPath;
};

// Whole file as bytes ("" when missing).
[[nodiscard]] std::string ReadFileBytes(const std::string &APath);
void WriteFileBytes(const std::string &APath, const std::string &ABytes);
