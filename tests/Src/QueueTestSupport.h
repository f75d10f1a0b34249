// Helpers shared by the queue's tests: small clips, a per-test output folder, and a
// reader of an output's streams.
#pragma once

#include <string>
#include <vector>

#include "FFmpegQueue/FFmpegQueue.h"

namespace queuetest {

// A short mpeg4 + aac clip (cached per process).
[[nodiscard]] std::string ShortClip(double ADurationSec = 1.0);
// A fresh, empty folder for one test's outputs.
[[nodiscard]] std::string OutputDir(const std::string &AName);
// Codec names of a file's streams in stream order, by reading the file back.
[[nodiscard]] std::vector<std::string> StreamCodecs(const std::string &AFileName);
// Codec names an opened (not yet run) output of a task will be written with.
[[nodiscard]] std::vector<std::string> PlannedCodecs(const TFFmpeg &ATask, int AOutput = 0);

}  // namespace queuetest
