// "quorvel-cli convert": one engine task from the command line, in the engine's own
// order: for each input its options then "-i FILE", then for each output its options
// then the output file.
#pragma once

#include <string>
#include <vector>

class TCustomFFmpeg;

// Exit codes of the command.
enum TConvertExit { ceFinished = 0, ceFailed = 1, ceUsage = 2 };

// Feeds the arguments (after the word "convert") into the engine: options through
// SetOption, "-i" opens an input, any other word opens an output. "-join" makes the
// next output a join of all inputs. Returns ceFinished when the task is ready to run,
// else the exit code with the reason in AError.
[[nodiscard]] TConvertExit SetUpConvertTask(TCustomFFmpeg &AEngine,
                                            const std::vector<std::string> &AArgs,
                                            std::string &AError);

// The progress line shown while converting.
[[nodiscard]] std::string ProgressLine(int64_t ACurrentUs, int64_t ATotalUs, int64_t ASizeBytes,
                                       float ABitRate);

// Runs the whole command; prints progress and the report to stderr.
int RunConvertCommand(const std::vector<std::string> &AArgs);
