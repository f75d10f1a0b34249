#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

namespace {

enum class TLoad { Missing, Ok, Oversized, Unreadable };

TLoad LoadLines(const std::string &APath, std::vector<std::string> &ALines) {
  ALines.clear();
  struct stat st {};
  if (::stat(APath.c_str(), &st) != 0) return TLoad::Missing;
  if (!S_ISREG(st.st_mode)) return TLoad::Unreadable;
  if (static_cast<std::size_t>(st.st_size) > TIniFile::kMaxFileBytes) return TLoad::Oversized;
  std::ifstream in(APath, std::ios::binary);
  if (!in) return TLoad::Unreadable;
  std::string data;
  data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[8192];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    data.append(buf, static_cast<std::size_t>(in.gcount()));
    if (data.size() > TIniFile::kMaxFileBytes) return TLoad::Oversized;  // grew meanwhile
  }
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t nl = data.find('\n', pos);
    if (nl == std::string::npos) nl = data.size();
    std::string line = data.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ALines.push_back(std::move(line));
    pos = nl + 1;
  }
  return TLoad::Ok;
}

std::string_view Trim(std::string_view s) {
  const char *ws = " \t\v\f\r";
  std::size_t b = s.find_first_not_of(ws);
  if (b == std::string_view::npos) return {};
  std::size_t e = s.find_last_not_of(ws);
  return s.substr(b, e - b + 1);
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view StripBom(std::string_view s, bool first) {
  if (first && s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
  return s;
}

// "[name]" → name; otherwise false.
bool SectionName(std::string_view line, std::string_view &AName) {
  std::string_view t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  std::size_t close = t.find(']');
  if (close == std::string_view::npos) return false;
  AName = Trim(t.substr(1, close - 1));
  return true;
}

// "key=value" → key, value; comments and lines without '=' are not entries.
bool Entry(std::string_view line, std::string_view &AKey, std::string_view &AValue) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '#') return false;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  AKey = Trim(t.substr(0, eq));
  AValue = Trim(t.substr(eq + 1));
  return !AKey.empty();
}

struct TLocation {
  long Section = -1;    // line of the section header, -1 when absent
  long Key = -1;        // line of the entry, -1 when absent
  long LastEntry = -1;  // last non-blank line inside the section
};

TLocation Locate(const std::vector<std::string> &ALines, const std::string &ASection,
                 const std::string &AKey) {
  TLocation loc;
  bool inside = false;
  for (std::size_t i = 0; i < ALines.size(); ++i) {
    if (ALines[i].size() > TIniFile::kMaxLineBytes) continue;
    std::string_view line = StripBom(ALines[i], i == 0);
    std::string_view name;
    if (SectionName(line, name)) {
      if (inside) break;  // the first matching section ended
      if (SameText(name, ASection)) {
        inside = true;
        loc.Section = static_cast<long>(i);
        loc.LastEntry = static_cast<long>(i);
      }
      continue;
    }
    if (!inside) continue;
    if (!Trim(line).empty()) loc.LastEntry = static_cast<long>(i);
    std::string_view key, value;
    if (Entry(line, key, value) && SameText(key, AKey)) {
      loc.Key = static_cast<long>(i);
      break;
    }
  }
  return loc;
}

bool WriteAll(const std::string &APath, const std::vector<std::string> &ALines) {
  // A name of this process's own, so two running copies never share a half-written file.
  std::string tmp = APath + ".tmp." + std::to_string(::getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string data;
  for (const std::string &l : ALines) {
    data += l;
    data += '\n';
  }
  const char *p = data.data();
  std::size_t left = data.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), APath.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

}  // namespace

bool TIniFile::Exists() const {
  struct stat st {};
  return ::stat(FPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string TIniFile::ReadString(const std::string &ASection, const std::string &AKey,
                                 const std::string &ADefault) const {
  std::vector<std::string> lines;
  if (LoadLines(FPath, lines) != TLoad::Ok) return ADefault;
  TLocation loc = Locate(lines, ASection, AKey);
  if (loc.Key < 0) return ADefault;
  std::string_view key, value;
  if (!Entry(StripBom(lines[static_cast<std::size_t>(loc.Key)], loc.Key == 0), key, value))
    return ADefault;
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

bool TIniFile::WriteString(const std::string &ASection, const std::string &AKey,
                           const std::string &AValue) {
  std::vector<std::string> lines;
  TLoad state = LoadLines(FPath, lines);
  if (state == TLoad::Unreadable) return false;
  if (state == TLoad::Oversized) {
    // Keep the damaged file for whoever wants to look at it; start a clean one.
    if (std::rename(FPath.c_str(), (FPath + ".bad").c_str()) != 0) return false;
    lines.clear();
  }
  // A value cannot span lines; a line break would plant a new key.
  std::string value;
  for (char c : AValue)
    if (c != '\n' && c != '\r') value += c;
  std::string entry = AKey + "=" + value;
  TLocation loc = Locate(lines, ASection, AKey);
  if (loc.Key >= 0) {
    lines[static_cast<std::size_t>(loc.Key)] = entry;
  } else if (loc.Section >= 0) {
    lines.insert(lines.begin() + loc.LastEntry + 1, entry);
  } else {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + ASection + "]");
    lines.push_back(entry);
  }
  return WriteAll(FPath, lines);
}
