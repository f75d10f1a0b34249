// The settings file: INI syntax ("[Section]", "key=value" lines). Every call opens the
// file, performs one read or one write and closes it again, so a file edited while the
// program runs takes effect at the next access. Reading tolerates anything: binary
// bytes, huge lines, missing sections; the caller's default comes back for whatever
// cannot be read.
#pragma once

#include <cstddef>
#include <string>

class TIniFile {
 public:
  explicit TIniFile(std::string APath) : FPath(std::move(APath)) {}

  [[nodiscard]] const std::string &FileName() const { return FPath; }
  [[nodiscard]] bool Exists() const;

  // Section and key names compare without regard to ASCII case; the value is trimmed
  // and loses one pair of enclosing double quotes.
  [[nodiscard]] std::string ReadString(const std::string &ASection, const std::string &AKey,
                                       const std::string &ADefault) const;

  // Replaces the first occurrence of the key in the first matching section, or adds it.
  // Every other line of the file is kept as it was. The file is replaced atomically so
  // that a crash while writing cannot leave half a file behind. False when the file
  // cannot be written.
  bool WriteString(const std::string &ASection, const std::string &AKey, const std::string &AValue);

  // A file larger than this is not a settings file: reads give the default, and the
  // first write moves it aside (".bad") and starts afresh.
  static constexpr std::size_t kMaxFileBytes = 4u << 20;
  // Longer lines are kept when the file is rewritten but never taken for a section or key.
  static constexpr std::size_t kMaxLineBytes = 64u << 10;

 private:
  std::string FPath;
};
