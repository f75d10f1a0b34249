#include "ProbeTexts.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace probe_text {

std::string Format(const char *AFmt, ...) {
  va_list args;
  va_start(args, AFmt);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, AFmt, copy);
  va_end(copy);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, AFmt, args);
  va_end(args);
  return out;
}

std::string RateNumber(double AValue, const char *AUnit) {
  const int64_t v = std::llround(AValue * 100);
  if (v % 100 != 0) return Format(", %3.2f %s", AValue, AUnit);
  if (v % (100 * 1000) != 0) return Format(", %1.0f %s", AValue, AUnit);
  return Format(", %1.0fk %s", AValue / 1000, AUnit);
}

std::string DisplayKey(const std::string &AKey) {
  static const std::map<std::string, std::string> kId3 = {
      {"TALB", "album"},     {"TAL", "album"},      {"TCOM", "composer"},  {"TCON", "genre"},
      {"TCO", "genre"},      {"TCOP", "copyright"}, {"TDRL", "date"},      {"TENC", "encoder"},
      {"TEN", "encoder"},    {"TIT2", "title"},     {"TT2", "title"},      {"TLAN", "language"},
      {"TPE1", "artist"},    {"TP1", "artist"},     {"TPOS", "disc"},      {"TPUB", "publisher"},
      {"TRCK", "track"},     {"TRK", "track"},      {"TSOA", "albumsort"}, {"TSOP", "authorsort"},
      {"TSOT", "titlesort"}, {"TYER", "year"}};
  const auto it = kId3.find(AKey);
  return it == kId3.end() ? AKey : it->second;
}

std::string SecondsText(int64_t AMicroseconds) {
  const int64_t whole = AMicroseconds / 1000000;
  const int64_t frac = std::llabs(AMicroseconds % 1000000);
  if (AMicroseconds < 0 && whole == 0) return Format("-0.%.6lld", static_cast<long long>(frac));
  return Format("%lld.%.6lld", static_cast<long long>(whole), static_cast<long long>(frac));
}

}  // namespace probe_text
