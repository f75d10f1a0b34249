// The texts a progress report writes into a row of the conversion list: current time,
// size written and progress.
#pragma once

#include <cstdint>
#include <string>

// "%.2d:%.2d:%.2d" of whole seconds; the hours wrap at 24.
[[nodiscard]] std::string TimeText(int64_t ASeconds);
// Bytes as mebibytes rounded to two decimals (halves to even), in the shortest decimal
// form, then "MB": 1234567 -> "1.18MB", 1048576 -> "1MB", 0 -> "0MB".
[[nodiscard]] std::string SizeText(int64_t ABytes);

// Before any output stream has a time, the engine reports this huge current duration.
inline constexpr int64_t kNoOutputTimeYetUs = 10000000000000000LL;

struct TProgressCells {
  std::string Time;          // the time cell
  std::string Size;          // the size cell
  bool PercentKnown = true;  // false: the progress cell reads "N/A"
  int Percent = 0;           // 0 to 100
};

// The cells of one report. A percentage above 100 (the first reports, an overshoot of
// the expected duration) shows 100; the first reports, which carry no output time yet,
// show the time "00:00:00" rather than a made-up hour.
[[nodiscard]] TProgressCells ProgressCells(int64_t ACurrentDurationUs, int64_t ATotalDurationUs,
                                           int64_t ACurrentSizeBytes);
