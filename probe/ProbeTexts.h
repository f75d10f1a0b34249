// Pure text rules of the information text: number formats, tag keys. No library calls,
// so tests reach every branch without a media file.
#pragma once

#include <cstdint>
#include <string>

namespace probe_text {

// ", 25 fps", ", 29.97 fps", ", 1k tbn": two decimals when the value has a fraction at
// 1/100, thousands with "k" when it is a whole multiple of 1000.
[[nodiscard]] std::string RateNumber(double AValue, const char *AUnit);

// ID3v2 frame names shown by their meaning ("TIT2" -> "title"); other keys unchanged.
[[nodiscard]] std::string DisplayKey(const std::string &AKey);

// "%d.%.6d" of a time in microseconds: whole seconds, then the microseconds. A negative
// time keeps its sign even below one second ("-0.040000").
[[nodiscard]] std::string SecondsText(int64_t AMicroseconds);

// printf into a std::string.
[[nodiscard]] std::string Format(const char *AFmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace probe_text
