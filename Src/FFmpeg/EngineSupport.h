// Small services the engine needs from its surroundings: the log sink, the library
// error texts, the generic option store and the library form of file names. They are
// kept behind these few functions so that the engine's own code does not depend on
// how the surrounding frame provides them.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "../FFmpegLoader/MediaHeaders.h"

namespace engine {

// Log levels of the engine's own messages, in increasing verbosity.
enum TEngineLogLevel { elQuiet, elPanic, elFatal, elError, elWarning, elInfo, elVerbose, elDebug };

using TEngineLogSink = std::function<void(TEngineLogLevel, const std::string &)>;
// Replaces the sink; returns the previous one. The default sink drops everything.
TEngineLogSink SetEngineLogSink(TEngineLogSink ASink);
void EngineLog(TEngineLogLevel ALevel, const std::string &AMsg);
void EngineLogF(TEngineLogLevel ALevel, const char *AFormat, ...) __attribute__((format(printf, 2, 3)));
// Sets the library's log level from an option text ("quiet" … "debug" or a number).
void SetLibraryLogLevel(const std::string &AValue);

std::string Format(const char *AFormat, ...) __attribute__((format(printf, 1, 2)));
// "name: text of the library error code".
std::string ErrorText(const std::string &AName, int ACode);
// "Video", "Audio", "Data", "Subtitle", "Attachment", "Unknown".
std::string MediaTypeName(int AType);
std::string TrimText(const std::string &AText);
std::string LowerText(const std::string &AText);

// Generic library options: one codec context per media type, a format context and a
// scaler context carry option values until they are copied into the real contexts.
class TGenericOptions {
 public:
  TGenericOptions() = default;
  TGenericOptions(const TGenericOptions &) = delete;
  TGenericOptions &operator=(const TGenericOptions &) = delete;
  ~TGenericOptions() { Free(); }

  void Alloc(unsigned ASwsFlags);
  void Free();
  [[nodiscard]] bool Allocated() const { return FCodec[0] != nullptr; }
  // False when the option is unknown or the library refused the value.
  bool Set(const std::string &AName, const std::string &AValue);
  // Copies every option set so far whose flags include AFlags from ASource to ATarget.
  void Apply(void *ATarget, void *ASource, int AFlags) const;
  [[nodiscard]] AVCodecContext *Codec(int AType) const { return FCodec[AType]; }
  [[nodiscard]] AVFormatContext *Format() const { return FFormat; }
  [[nodiscard]] SwsContext *Sws() const { return FSws; }

 private:
  AVCodecContext *FCodec[5] = {};
  AVFormatContext *FFormat = nullptr;
  SwsContext *FSws = nullptr;
  std::vector<std::string> FNames;
};

}  // namespace engine
