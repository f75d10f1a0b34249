#include "EngineSupport.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace engine {

namespace {
std::string VFormat(const char *AFormat, va_list AArgs) {
  va_list copy;
  va_copy(copy, AArgs);
  char buf[1024];
  int n = std::vsnprintf(buf, sizeof buf, AFormat, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, n);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(s.data(), s.size(), AFormat, AArgs);
  s.resize(n);
  return s;
}
}  // namespace

std::string Format(const char *AFormat, ...) {
  va_list ap;
  va_start(ap, AFormat);
  std::string s = VFormat(AFormat, ap);
  va_end(ap);
  return s;
}

void EngineLog(TLogLevel ALevel, const std::string &AMsg) {
  GlobalLogger().Log(nullptr, ALevel, AMsg);
}

void EngineLogF(TLogLevel ALevel, const char *AFormat, ...) {
  va_list ap;
  va_start(ap, AFormat);
  std::string s = VFormat(AFormat, ap);
  va_end(ap);
  EngineLog(ALevel, s);
}

std::string LowerText(const std::string &AText) {
  std::string s = AText;
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace engine
