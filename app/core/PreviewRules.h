// Rules of the preview panel that need no widgets: where the seek bar stands for a
// position, where a released bar seeks to, and the names of snapshot files.
#pragma once

#include <cstdint>
#include <string>

// Seek-bar position for a reported time stamp; -1 when the bar should not move
// (negative time stamp or unknown duration). 64-bit integer arithmetic throughout.
[[nodiscard]] int SeekBarPosition(int64_t APts, int64_t ADuration, int AMaximum);
// The time stamp (µs) a bar released at APosition seeks to.
[[nodiscard]] int64_t SeekBarTarget(int APosition, int AMaximum, int64_t ADuration);

// ".bmp", ".jpg", ".gif" or ".png" for the picture types "BMP", "JPG", "GIF", "PNG";
// anything else is saved as a bitmap.
[[nodiscard]] std::string SnapshotExtension(const std::string &AType);
// AFolder + "/" + base name of ASource without extension + "_" + n + AExtension, with n
// the smallest number from 1 up for which no file of that name exists.
[[nodiscard]] std::string NextSnapshotFile(const std::string &AFolder, const std::string &ASource,
                                           const std::string &AExtension);
