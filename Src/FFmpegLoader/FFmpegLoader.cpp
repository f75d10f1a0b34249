#include "FFmpegLoader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cassert>
#include <cstdio>

#include "FFmpegLogger/FFmpegLogger.h"

namespace ff {
AVUtilTable util;
AVCodecTable codec;
AVFormatTable format;
AVFilterTable filter;
AVDeviceTable device;
SwScaleTable scale;
SwResampleTable resample;
SDLTable sdl;
}  // namespace ff

namespace {

struct LibraryItem {
  const char *Name;
  int Version;  // -1: no version in the file name
};

// Rows in TLibrary order. Versions are the major versions of the headers of this build,
// so the program opens the generation it was compiled against.
const LibraryItem kLibraryTable[kLibraryCount] = {
    {"avcodec", LIBAVCODEC_VERSION_MAJOR},   {"avdevice", LIBAVDEVICE_VERSION_MAJOR},
    {"avfilter", LIBAVFILTER_VERSION_MAJOR}, {"avformat", LIBAVFORMAT_VERSION_MAJOR},
    {"avutil", LIBAVUTIL_VERSION_MAJOR},     {"swscale", LIBSWSCALE_VERSION_MAJOR},
    {"swresample", LIBSWRESAMPLE_VERSION_MAJOR}, {"SDL2-2.0", 0},
};

// Libraries each one needs. They are loaded first, from the same folder, so that the
// dynamic linker resolves the dependency to the copy already in the process instead of
// searching the system for it.
const TLibraries kDependencies[kLibraryCount] = {
    {avUtil, swResample},                                  // avCodec
    {avUtil, swResample, swScale, avCodec, avFormat, avFilter},  // avDevice
    {avUtil, swResample, swScale, avCodec, avFormat},      // avFilter
    {avUtil, swResample, avCodec},                         // avFormat
    {},                                                    // avUtil
    {avUtil},                                              // swScale
    {avUtil},                                              // swResample
    {},                                                    // lbSDL
};

struct BindError {
  std::string Message;
};

template <typename T>
void BindFunction(void *AHandle, T &AEntry, const char *AName, const std::string &AFile) {
  dlerror();
  void *address = dlsym(AHandle, AName);
  AEntry = reinterpret_cast<T>(address);
  if (address == nullptr) {
    const char *err = dlerror();
    char buf[1024];
    std::snprintf(buf, sizeof buf, "Load function %s@%s error: %s", AName, AFile.c_str(),
                  err ? err : "undefined symbol");
    throw BindError{buf};
  }
}

template <typename Table>
void Fixup(Table &ATable, void *AHandle, const std::string &AFile);

#define QV_FN(name) BindFunction(AHandle, ATable.name, #name, AFile);
template <>
void Fixup(ff::AVUtilTable &ATable, void *AHandle, const std::string &AFile) {
#include "syms_avutil.inc"
}
template <>
void Fixup(ff::AVCodecTable &ATable, void *AHandle, const std::string &AFile) {
#include "syms_avcodec.inc"
}
template <>
void Fixup(ff::AVFormatTable &ATable, void *AHandle, const std::string &AFile) {
#include "syms_avformat.inc"
}
template <>
void Fixup(ff::AVFilterTable &ATable, void *AHandle, const std::string &AFile) {
#include "syms_avfilter.inc"
}
template <>
void Fixup(ff::AVDeviceTable &ATable, void *AHandle, const std::string &AFile) {
#include "syms_avdevice.inc"
}
template <>
void Fixup(ff::SwScaleTable &ATable, void *AHandle, const std::string &AFile) {
#include "syms_swscale.inc"
}
template <>
void Fixup(ff::SwResampleTable &ATable, void *AHandle, const std::string &AFile) {
#include "syms_swresample.inc"
}
template <>
void Fixup(ff::SDLTable &ATable, void *AHandle, const std::string &AFile) {
#include "syms_sdl.inc"
}
#undef QV_FN

void FixupLibrary(TLibrary ALibrary, void *AHandle, const std::string &AFile) {
  switch (ALibrary) {
    case avCodec: Fixup(ff::codec, AHandle, AFile); break;
    case avDevice: Fixup(ff::device, AHandle, AFile); ff::device.avdevice_register_all(); break;
    case avFilter: Fixup(ff::filter, AHandle, AFile); break;
    case avFormat: Fixup(ff::format, AHandle, AFile); break;
    case avUtil: Fixup(ff::util, AHandle, AFile); break;
    case swScale: Fixup(ff::scale, AHandle, AFile); break;
    case swResample: Fixup(ff::resample, AHandle, AFile); break;
    case lbSDL: Fixup(ff::sdl, AHandle, AFile); break;
  }
}

void Unfix(TLibrary ALibrary) {
  switch (ALibrary) {
    case avCodec: ff::codec = {}; break;
    case avDevice: ff::device = {}; break;
    case avFilter: ff::filter = {}; break;
    case avFormat: ff::format = {}; break;
    case avUtil: ff::util = {}; break;
    case swScale: ff::scale = {}; break;
    case swResample: ff::resample = {}; break;
    case lbSDL: ff::sdl = {}; break;
  }
}

bool FileExists(const std::string &AName) {
  struct stat st {};
  return ::stat(AName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

TFFmpegLoader::TFFmpegLoader() = default;

std::string TFFmpegLoader::LibraryFileName(TLibrary ALibrary) {
  const LibraryItem &item = kLibraryTable[ALibrary];
  if (ALibrary == lbSDL) return "libSDL2-2.0.so.0";
  std::string name = "lib" + std::string(item.Name) + ".so";
  if (item.Version >= 0) name += "." + std::to_string(item.Version);
  return name;
}

void TFFmpegLoader::AddLoadedHook(TLibrary ALibrary, std::function<void()> AHook) {
  FHooks[ALibrary].push_back(std::move(AHook));
}

bool TFFmpegLoader::LoadModule(TLibrary ALibrary) {
  const std::string name = LibraryFileName(ALibrary);
  std::string folder;
  if (!FLibraryPath.empty()) {
    folder = FLibraryPath;
    if (folder.back() != '/') folder += '/';
  }
  void *handle = nullptr;
  if (!folder.empty() && FileExists(folder + name)) {
    handle = dlopen((folder + name).c_str(), RTLD_NOW | RTLD_LOCAL);
  } else {
    handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle == nullptr) {
    const char *err = dlerror();
    FLastErrMsg = "Load library " + folder + name + " error: " + (err ? err : "unknown error");
    return false;
  }
  FStatus[ALibrary].Handle = handle;
  return true;
}

bool TFFmpegLoader::Load(TLibrary ALibrary) {
  Status &st = FStatus[ALibrary];
  if (st.Handle == nullptr) {
    for (int dep = 0; dep < kLibraryCount; ++dep) {
      if (kDependencies[ALibrary].Contains(static_cast<TLibrary>(dep)) &&
          !Load(static_cast<TLibrary>(dep)))
        return false;
    }
    if (!LoadModule(ALibrary)) return false;
  }
  if (!st.Fixuped) {
    try {
      FixupLibrary(ALibrary, st.Handle, LibraryFileName(ALibrary));
      st.Fixuped = true;
      // The library's own log goes to the sink from its first line on.
      if (ALibrary == avUtil && FInstallLogger) GlobalLogger().InstallAVLogCallback();
      for (auto &hook : FHooks[ALibrary]) hook();
    } catch (const BindError &e) {
      FLastErrMsg = e.Message;
    }
  }
  if (!st.Fixuped) Unload(ALibrary);
  return st.Fixuped;
}

bool TFFmpegLoader::Load(TLibraries ALibraries) {
  assert(!ALibraries.Empty());
  for (int i = 0; i < kLibraryCount; ++i) {
    const auto lib = static_cast<TLibrary>(i);
    if (ALibraries.Contains(lib) && !Load(lib)) {
      Unload(ALibraries);
      return false;
    }
  }
  return true;
}

bool TFFmpegLoader::Loaded(TLibrary ALibrary) const {
  return FStatus[ALibrary].Handle != nullptr && FStatus[ALibrary].Fixuped;
}

bool TFFmpegLoader::Loaded(TLibraries ALibraries) const {
  assert(!ALibraries.Empty());
  for (int i = 0; i < kLibraryCount; ++i) {
    const auto lib = static_cast<TLibrary>(i);
    if (ALibraries.Contains(lib) && !Loaded(lib)) return false;
  }
  return true;
}

void TFFmpegLoader::Unload(TLibrary ALibrary) {
  Status &st = FStatus[ALibrary];
  if (st.Fixuped) {
    Unfix(ALibrary);
    st.Fixuped = false;
  }
  if (st.Handle != nullptr) {
    dlclose(st.Handle);
    st.Handle = nullptr;
  }
}

void TFFmpegLoader::Unload(TLibraries ALibraries) {
  assert(!ALibraries.Empty());
  for (int i = 0; i < kLibraryCount; ++i) {
    const auto lib = static_cast<TLibrary>(i);
    if (ALibraries.Contains(lib)) Unload(lib);
  }
}

TFFmpegLoader &FFLoader() {
  static TFFmpegLoader loader;
  return loader;
}

std::mutex &CodecLock() {
  static std::mutex lock;
  return lock;
}
