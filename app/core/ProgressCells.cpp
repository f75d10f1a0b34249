#include "ProgressCells.h"

#include <cmath>
#include <cstdio>

std::string TimeText(int64_t ASeconds) {
  if (ASeconds < 0) ASeconds = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", static_cast<int>((ASeconds / 3600) % 24),
                static_cast<int>((ASeconds / 60) % 60), static_cast<int>(ASeconds % 60));
  return text;
}

std::string SizeText(int64_t ABytes) {
  // Hundredths of a mebibyte, rounded half to even (nearbyint in the default mode).
  const double hundredths = std::nearbyint(static_cast<double>(ABytes) / 1024.0 / 1024.0 * 100.0);
  const auto whole = static_cast<long long>(hundredths);
  const long long units = whole / 100;
  long long frac = whole % 100;
  if (frac < 0) frac = -frac;
  std::string text = std::to_string(units);
  if (whole < 0 && units == 0) text = "-0";
  if (frac != 0) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02lld", frac);
    std::string f = digits;
    if (f.back() == '0') f.pop_back();
    text += "." + f;
  }
  return text + "MB";
}

TProgressCells ProgressCells(int64_t ACurrentDurationUs, int64_t ATotalDurationUs,
                             int64_t ACurrentSizeBytes) {
  TProgressCells cells;
  const bool noTimeYet = ACurrentDurationUs >= kNoOutputTimeYetUs;
  if (ATotalDurationUs > 0) {
    int64_t percent = 100;
    // Avoids the overflow of current * 100 for the huge first reports.
    if (ACurrentDurationUs < ATotalDurationUs)
      percent = ACurrentDurationUs * 100 / ATotalDurationUs;
    cells.Percent = static_cast<int>(percent < 0 ? 0 : percent);
  } else {
    cells.PercentKnown = false;
  }
  cells.Time = TimeText(noTimeYet ? 0 : ACurrentDurationUs / 1000000);
  cells.Size = SizeText(ACurrentSizeBytes);
  return cells;
}
