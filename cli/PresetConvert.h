// "quorvel-cli convert -p ID ...": a batch converted with a preset exactly as the window
// adds and runs it: profile from the preset's row confirmed with the given choices, the
// window's records, naming and source protection, and the task queue.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "ConversionProfile.h"
#include "OptionRules.h"

class TFFmpegQueue;

namespace cli {

inline constexpr int kExitInterrupted = 130;

struct TPresetConvertArgs {
  int PresetId = 0;
  std::string OutputDir;   // empty: the output folder of system.ini
  TChosenOptions Choices;  // item texts of the options given; empty = the row's own
  bool Overwrite = false;
  int Jobs = 0;  // 0: one per core
  bool Json = false;
  std::vector<std::string> Sources;  // files and folders as given
};

// Parses the words after "convert" (which start with "-p"). False with a usage message
// when an option is unknown, lacks its value, or names an item the preset does not offer
// (the message then lists the ones it does).
[[nodiscard]] bool ParsePresetConvertArgs(const std::vector<std::string> &AArgs,
                                          TPresetConvertArgs &AResult, std::string &AError);

[[nodiscard]] std::string PresetConvertUsage();

// The sources in the order their tasks are queued: files as given, the files of a folder
// as the window walks its listing (from the last entry to the first, sub-folders left out).
[[nodiscard]] std::vector<std::string> ExpandSources(const std::vector<std::string> &APaths);

// What became of one source.
enum class TItemState { Queued, Skipped, Running, Finished, Failed, Stopped };
[[nodiscard]] const char *StateName(TItemState AState);

struct TBatchItem {
  std::string Source;
  std::string Output;  // empty when the source was skipped before an output was chosen
  int TaskIndex = -1;  // position in the queue of its round; -1 when not queued
  TItemState State = TItemState::Queued;
  std::string Error;  // reason of a skip or failure
};

// Fills the profile from the preset and the choices (one file: named after that file;
// several: only the extension counts). False with a message when the preset is unknown.
[[nodiscard]] bool ConfigureBatchProfile(const TPresetConvertArgs &AArgs,
                                         const std::vector<std::string> &ASources,
                                         const std::string &AOutputDir,
                                         TConversionProfile &AProfile, std::string &AError);

// Probes every source, names its output and queues its task. Unreadable sources and
// sources the queue refuses become Skipped / Failed items with their reason; the others
// are Queued with their task index. Names never fall on a source nor on an output named
// earlier in the same batch. AProtected, when given, holds the names no output may take
// (the batch's sources and earlier outputs) and receives the new outputs.
[[nodiscard]] std::vector<TBatchItem> QueueBatch(TFFmpegQueue &AQueue,
                                                 const TConversionProfile &AProfile,
                                                 const std::vector<std::string> &ASources,
                                                 const std::string &AOutputDir, bool AOverwrite,
                                                 std::vector<std::string> *AProtected = nullptr);

// Where the run reports: JSON lines or text on AOut, failures on AErr; ATerminal draws
// one line per running file, redrawn in place.
struct TBatchConsole {
  std::ostream &Out;
  std::ostream &Err;
  bool Terminal = false;
};

// The whole command. Returns 0, 1, 2 or 130 (interrupted by SIGINT).
[[nodiscard]] int RunPresetConvert(const std::vector<std::string> &AArgs,
                                   const TBatchConsole &AConsole);

}  // namespace cli
