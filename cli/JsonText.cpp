#include "JsonText.h"

#include <cmath>
#include <cstdio>

namespace cli {
namespace {

// Length of the valid UTF-8 sequence starting at AText[i], 0 when there is none.
std::size_t Utf8Length(const std::string &AText, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(AText[k]); };
  const unsigned char c = b(i);
  std::size_t n = 0;
  uint32_t cp = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4, cp = c & 0x07;
  else
    return 0;
  if (i + n > AText.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

}  // namespace

std::string JsonString(const std::string &AText) {
  std::string out = "\"";
  for (std::size_t i = 0; i < AText.size();) {
    const unsigned char c = static_cast<unsigned char>(AText[i]);
    const std::size_t n = Utf8Length(AText, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(AText, i, n);
      i += n;
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

std::string JsonArray(const std::vector<std::string> &ATexts) {
  std::string out = "[";
  for (std::size_t i = 0; i < ATexts.size(); ++i) {
    if (i) out += ",";
    out += JsonString(ATexts[i]);
  }
  return out + "]";
}

void TJsonObject::Key(const char *AKey) {
  if (!FBody.empty()) FBody += ",";
  FBody += JsonString(AKey) + ":";
}

TJsonObject &TJsonObject::Str(const char *AKey, const std::string &AValue) {
  Key(AKey);
  FBody += JsonString(AValue);
  return *this;
}

TJsonObject &TJsonObject::Int(const char *AKey, int64_t AValue) {
  Key(AKey);
  FBody += std::to_string(AValue);
  return *this;
}

TJsonObject &TJsonObject::Num(const char *AKey, double AValue) {
  Key(AKey);
  if (!std::isfinite(AValue)) {
    FBody += "null";
    return *this;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", AValue);
  FBody += buf;
  return *this;
}

TJsonObject &TJsonObject::Bool(const char *AKey, bool AValue) {
  Key(AKey);
  FBody += AValue ? "true" : "false";
  return *this;
}

TJsonObject &TJsonObject::Null(const char *AKey) {
  Key(AKey);
  FBody += "null";
  return *this;
}

TJsonObject &TJsonObject::Raw(const char *AKey, const std::string &AJson) {
  Key(AKey);
  FBody += AJson;
  return *this;
}

}  // namespace cli
