// Writing JSON objects one line at a time, for the machine-readable outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// AText as a JSON string literal with its quotes. Bytes that are not UTF-8 (a file name
// may hold any bytes) become U+FFFD so that the line always parses.
[[nodiscard]] std::string JsonString(const std::string &AText);
[[nodiscard]] std::string JsonArray(const std::vector<std::string> &ATexts);

// Members in the order they are added.
class TJsonObject {
 public:
  TJsonObject &Str(const char *AKey, const std::string &AValue);
  TJsonObject &Int(const char *AKey, int64_t AValue);
  TJsonObject &Num(const char *AKey, double AValue);
  TJsonObject &Bool(const char *AKey, bool AValue);
  TJsonObject &Null(const char *AKey);
  // AJson must already be JSON text (an object or array).
  TJsonObject &Raw(const char *AKey, const std::string &AJson);
  [[nodiscard]] std::string Text() const { return "{" + FBody + "}"; }

 private:
  void Key(const char *AKey);
  std::string FBody;
};

}  // namespace cli
