// Small helpers shared by the engine's files: formatted texts and logging through the
// process-wide log sink.
#pragma once

#include <string>

#include "../FFUtils/FFUtils.h"
#include "../FFmpegLogger/FFmpegLogger.h"

struct AVOutputFormat;

namespace engine {

std::string Format(const char *AFormat, ...) __attribute__((format(printf, 1, 2)));
void EngineLog(TLogLevel ALevel, const std::string &AMsg);
void EngineLogF(TLogLevel ALevel, const char *AFormat, ...) __attribute__((format(printf, 2, 3)));
[[nodiscard]] std::string LowerText(const std::string &AText);
// The encoder to use for a name the catalogue gives: names this library generation no
// longer has are mapped to their successor (logged); others are returned unchanged. With
// a container given, a successor that container cannot carry is not used, so that the
// lookup reports the missing encoder by its own name.
[[nodiscard]] std::string SubstituteEncoder(const std::string &AName,
                                            const AVOutputFormat *AFormat = nullptr);

}  // namespace engine
