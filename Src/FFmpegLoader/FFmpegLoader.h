// Run-time loader of the media libraries and SDL. Nothing links them at build time:
// each library is opened by file name (from the folder the caller names, else the
// system search) and every entry point the program calls is bound by name into the
// library's table below, typed from the library's own header.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "MediaHeaders.h"

namespace ff {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define QV_FN(name) decltype(&::name) name = nullptr;
struct AVUtilTable {
#include "syms_avutil.inc"
};
struct AVCodecTable {
#include "syms_avcodec.inc"
};
struct AVFormatTable {
#include "syms_avformat.inc"
};
struct AVFilterTable {
#include "syms_avfilter.inc"
};
struct AVDeviceTable {
#include "syms_avdevice.inc"
};
struct SwScaleTable {
#include "syms_swscale.inc"
};
struct SwResampleTable {
#include "syms_swresample.inc"
};
struct SDLTable {
#include "syms_sdl.inc"
};
#undef QV_FN
#pragma GCC diagnostic pop

// The bound entry points. Use only after the loader reports the library loaded.
extern AVUtilTable util;
extern AVCodecTable codec;
extern AVFormatTable format;
extern AVFilterTable filter;
extern AVDeviceTable device;
extern SwScaleTable scale;
extern SwResampleTable resample;
extern SDLTable sdl;

}  // namespace ff

// swResample takes the place of the C run-time row: this generation resamples audio
// in its own library, and the C run-time is the one the program already shares.
enum TLibrary : uint8_t {
  avCodec,
  avDevice,
  avFilter,
  avFormat,
  avUtil,
  swScale,
  swResample,
  lbSDL
};
inline constexpr int kLibraryCount = 8;

// A set of libraries, bit n for the n-th value of TLibrary.
class TLibraries {
 public:
  constexpr TLibraries() = default;
  constexpr TLibraries(std::initializer_list<TLibrary> ALibs) {
    for (TLibrary l : ALibs) FBits |= static_cast<uint8_t>(1u << l);
  }
  [[nodiscard]] constexpr bool Contains(TLibrary ALib) const { return (FBits >> ALib) & 1u; }
  [[nodiscard]] constexpr bool Empty() const { return FBits == 0; }
  [[nodiscard]] constexpr uint8_t Bits() const { return FBits; }

 private:
  uint8_t FBits = 0;
};

// The sets the components load.
inline constexpr TLibraries kQueueLibraries{avCodec, avFilter, avFormat,
                                            avUtil,  swScale,  swResample};
inline constexpr TLibraries kProbeLibraries{avCodec, avFormat, avUtil, swScale, swResample};
inline constexpr TLibraries kPlayerLibraries{avCodec, avFilter,   avFormat, avUtil,
                                             swScale, swResample, lbSDL};

class TFFmpegLoader {
 public:
  TFFmpegLoader();
  TFFmpegLoader(const TFFmpegLoader &) = delete;
  TFFmpegLoader &operator=(const TFFmpegLoader &) = delete;

  [[nodiscard]] bool Load(TLibrary ALibrary);
  // Loads each member; on the first failure unloads the whole set and returns false.
  [[nodiscard]] bool Load(TLibraries ALibraries);
  [[nodiscard]] bool Loaded(TLibrary ALibrary) const;
  [[nodiscard]] bool Loaded(TLibraries ALibraries) const;
  void Unload(TLibrary ALibrary);
  void Unload(TLibraries ALibraries);

  [[nodiscard]] std::string LastErrMsg() const { return FLastErrMsg; }
  [[nodiscard]] std::string LibraryPath() const { return FLibraryPath; }
  void SetLibraryPath(const std::string &APath) { FLibraryPath = APath; }
  [[nodiscard]] bool InstallLogger() const { return FInstallLogger; }
  void SetInstallLogger(bool AValue) { FInstallLogger = AValue; }

  // File name of a library of this build ("libavcodec.so.59", "libSDL2-2.0.so.0").
  [[nodiscard]] static std::string LibraryFileName(TLibrary ALibrary);

  // Called after a library has been bound (the logger on avutil, the file protocol on
  // avformat). Hooks run on every successful first binding.
  void AddLoadedHook(TLibrary ALibrary, std::function<void()> AHook);

 private:
  struct Status {
    void *Handle = nullptr;
    bool Fixuped = false;
    std::vector<void *> Dependencies;  // copies from the library's folder it needs
  };
  bool LoadModule(TLibrary ALibrary);
  void ReleaseDependencies(TLibrary ALibrary);
  Status FStatus[kLibraryCount];
  std::string FLastErrMsg;
  std::string FLibraryPath;
  bool FInstallLogger = true;
  std::vector<std::function<void()>> FHooks[kLibraryCount];
};

// The single loader of the process.
TFFmpegLoader &FFLoader();

// The folder the components load from unless told otherwise: "LibAV" beside the program,
// or for an installed program without one <prefix>/lib/quorvel/LibAV when it exists.
[[nodiscard]] std::string DefaultLibraryPath();
// What the components offer for their own set of libraries. LoadAVLib sets the loader's
// folder (empty: the system search only), loads the set and on failure copies the
// loader's message into AErrMsg. There is no use count: UnloadAVLib releases the set for
// every component that shares a member.
[[nodiscard]] bool AVLibLoaded(TLibraries ALibraries);
[[nodiscard]] bool LoadAVLib(TLibraries ALibraries, const std::string &APath, std::string &AErrMsg);
void UnloadAVLib(TLibraries ALibraries);

// Held around every codec open and close and around reading the stream information of
// a newly opened input: the libraries' codec opening is not safe in two threads at once.
std::mutex &CodecLock();
