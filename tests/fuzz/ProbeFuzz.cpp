// libFuzzer target: arbitrary bytes as a media file for the probe. Every input is
// loaded, described line for line, asked for each stream record, and its information
// text is cut into the dialog's pieces. A crash, a leak or undefined behaviour here is a
// fault a user's broken file could trigger.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "AVProbe.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegLogger/FFmpegLogger.h"
#include "MediaInfo.h"

namespace {

// The first byte picks the extension, so that guessing by name is exercised as well, and
// with its top bit a name that is no valid text, read through the program's own I/O.
constexpr const char *kExtensions[] = {"avi", "mp4", "mkv", "mpg", "ts",  "flv",
                                       "mp3", "wav", "3gp", "mov", "bin", "ogg"};
constexpr size_t kExtensionCount = sizeof kExtensions / sizeof kExtensions[0];

std::string gDir;

bool Setup() {
  if (!FFLoader().Load(kProbeLibraries)) {
    std::fprintf(stderr, "cannot load the media libraries: %s\n", FFLoader().LastErrMsg().c_str());
    std::abort();
  }
  // The libraries' complaints about broken input are expected; keep the run readable.
  GlobalLogger().SetLogLevel(llQuiet);
  char tmpl[] = "/tmp/quorvel-fuzz-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  gDir = tmpl;
  std::atexit([] { rmdir(gDir.c_str()); });
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *AData, size_t ASize) {
  static const bool ready = Setup();
  (void)ready;
  if (ASize < 1) return 0;
  const std::string file = gDir + (AData[0] & 0x80 ? "/input\xff." : "/input.") +
                           kExtensions[(AData[0] & 0x7f) % kExtensionCount];
  FILE *f = std::fopen(file.c_str(), "wb");
  if (!f) std::abort();
  if (ASize > 1) std::fwrite(AData + 1, 1, ASize - 1, f);
  std::fclose(f);

  TAVProbe probe;
  if (probe.LoadFile(file)) {
    const std::string text = probe.FileInfoText();
    TMediaInfoFields fields;
    CutInfoPieces(text, fields);
    (void)MediaInfoLabels(fields);
    (void)probe.FileStreamInfo();
    for (int i = -1; i <= probe.StreamCount(); ++i) {
      (void)probe.AudioStreamInfo(i);
      (void)probe.VideoStreamInfo(i);
      (void)probe.SubtitleStreamInfo(i);
      (void)probe.IsAudioStream(i);
    }
  }
  probe.CloseFile();
  std::remove(file.c_str());
  return 0;
}
