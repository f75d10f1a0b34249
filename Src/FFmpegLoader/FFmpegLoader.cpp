#include "FFmpegLoader.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cstdio>
#include <cstring>
#include <set>

#include "FFUtils/FFUtils.h"
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
    {"avcodec", LIBAVCODEC_VERSION_MAJOR},       {"avdevice", LIBAVDEVICE_VERSION_MAJOR},
    {"avfilter", LIBAVFILTER_VERSION_MAJOR},     {"avformat", LIBAVFORMAT_VERSION_MAJOR},
    {"avutil", LIBAVUTIL_VERSION_MAJOR},         {"swscale", LIBSWSCALE_VERSION_MAJOR},
    {"swresample", LIBSWRESAMPLE_VERSION_MAJOR}, {"SDL2-2.0", 0},
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
    case avCodec:
      Fixup(ff::codec, AHandle, AFile);
      break;
    case avDevice:
      Fixup(ff::device, AHandle, AFile);
      ff::device.avdevice_register_all();
      break;
    case avFilter:
      Fixup(ff::filter, AHandle, AFile);
      break;
    case avFormat:
      Fixup(ff::format, AHandle, AFile);
      break;
    case avUtil:
      Fixup(ff::util, AHandle, AFile);
      break;
    case swScale:
      Fixup(ff::scale, AHandle, AFile);
      break;
    case swResample:
      Fixup(ff::resample, AHandle, AFile);
      break;
    case lbSDL:
      Fixup(ff::sdl, AHandle, AFile);
      break;
  }
}

void Unfix(TLibrary ALibrary) {
  switch (ALibrary) {
    case avCodec:
      ff::codec = {};
      break;
    case avDevice:
      ff::device = {};
      break;
    case avFilter:
      ff::filter = {};
      break;
    case avFormat:
      ff::format = {};
      break;
    case avUtil:
      ff::util = {};
      break;
    case swScale:
      ff::scale = {};
      break;
    case swResample:
      ff::resample = {};
      break;
    case lbSDL:
      ff::sdl = {};
      break;
  }
}

bool FileExists(const std::string &AName) {
  struct stat st {};
  return ::stat(AName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The DT_NEEDED names of a 64-bit ELF shared library; empty when the file is not one.
std::vector<std::string> NeededLibraries(const std::string &APath) {
  std::vector<std::string> names;
  const int fd = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return names;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(Elf64_Ehdr))) {
    ::close(fd);
    return names;
  }
  const size_t size = static_cast<size_t>(st.st_size);
  void *map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return names;
  const auto *base = static_cast<const unsigned char *>(map);
  auto inside = [&](uint64_t off, uint64_t len) { return off <= size && len <= size - off; };
  const auto *eh = reinterpret_cast<const Elf64_Ehdr *>(base);
  if (std::memcmp(eh->e_ident, ELFMAG, SELFMAG) == 0 && eh->e_ident[EI_CLASS] == ELFCLASS64 &&
      eh->e_phentsize == sizeof(Elf64_Phdr) &&
      inside(eh->e_phoff, uint64_t{eh->e_phnum} * sizeof(Elf64_Phdr))) {
    const auto *ph = reinterpret_cast<const Elf64_Phdr *>(base + eh->e_phoff);
    // File offset of a virtual address, through the segment that maps it.
    auto offsetOf = [&](uint64_t vaddr, uint64_t &off) {
      for (int i = 0; i < eh->e_phnum; ++i) {
        if (ph[i].p_type == PT_LOAD && vaddr >= ph[i].p_vaddr &&
            vaddr < ph[i].p_vaddr + ph[i].p_filesz) {
          off = ph[i].p_offset + (vaddr - ph[i].p_vaddr);
          return true;
        }
      }
      return false;
    };
    for (int i = 0; i < eh->e_phnum; ++i) {
      if (ph[i].p_type != PT_DYNAMIC || !inside(ph[i].p_offset, ph[i].p_filesz)) continue;
      const auto *dyn = reinterpret_cast<const Elf64_Dyn *>(base + ph[i].p_offset);
      const size_t count = ph[i].p_filesz / sizeof(Elf64_Dyn);
      uint64_t strtab = 0, strsz = 0;
      for (size_t k = 0; k < count && dyn[k].d_tag != DT_NULL; ++k) {
        if (dyn[k].d_tag == DT_STRTAB) strtab = dyn[k].d_un.d_ptr;
        if (dyn[k].d_tag == DT_STRSZ) strsz = dyn[k].d_un.d_val;
      }
      uint64_t stroff = 0;
      if (strtab == 0 || !offsetOf(strtab, stroff) || !inside(stroff, strsz)) break;
      for (size_t k = 0; k < count && dyn[k].d_tag != DT_NULL; ++k) {
        if (dyn[k].d_tag != DT_NEEDED || dyn[k].d_un.d_val >= strsz) continue;
        const char *name = reinterpret_cast<const char *>(base + stroff + dyn[k].d_un.d_val);
        names.emplace_back(name, strnlen(name, strsz - dyn[k].d_un.d_val));
      }
      break;
    }
  }
  ::munmap(map, size);
  return names;
}

// Opens, deepest first, every library that AName needs and that AFolder holds, so that
// the dynamic linker binds AName to those copies (it matches a needed name against the
// libraries already in the process) instead of searching the system for them.
void PreloadFolderDependencies(const std::string &AFolder, const std::string &AName,
                               std::set<std::string> &AVisited, std::vector<void *> &AHandles) {
  for (const std::string &dep : NeededLibraries(AFolder + AName)) {
    if (!AVisited.insert(dep).second || !FileExists(AFolder + dep)) continue;
    PreloadFolderDependencies(AFolder, dep, AVisited, AHandles);
    if (void *h = dlopen((AFolder + dep).c_str(), RTLD_NOW | RTLD_LOCAL)) AHandles.push_back(h);
  }
}

}  // namespace

// The floating-point control word is left alone: x86_64 code computes in SSE, whose
// exceptions are masked by default, and the libraries expect exactly that.
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
    std::set<std::string> visited{name};
    PreloadFolderDependencies(folder, name, visited, FStatus[ALibrary].Dependencies);
    handle = dlopen((folder + name).c_str(), RTLD_NOW | RTLD_LOCAL);
  } else {
    handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle == nullptr) {
    const char *err = dlerror();
    FLastErrMsg = "Load library " + folder + name + " error: " + (err ? err : "unknown error");
    ReleaseDependencies(ALibrary);
    return false;
  }
  FStatus[ALibrary].Handle = handle;
  return true;
}

bool TFFmpegLoader::Load(TLibrary ALibrary) {
  Status &st = FStatus[ALibrary];
  if (st.Handle == nullptr && !LoadModule(ALibrary)) return false;
  if (!st.Fixuped) {
    try {
      FixupLibrary(ALibrary, st.Handle, LibraryFileName(ALibrary));
      st.Fixuped = true;
      // The library's own log goes to the sink from its first line on.
      if (ALibrary == avUtil && FInstallLogger) GlobalLogger().InstallAVLogCallback();
      // No protocol is registered when avformat binds: this generation takes none, and
      // "unicode:utf8:" names are served by OpenMediaInput / OpenMediaIO instead.
      for (auto &hook : FHooks[ALibrary]) hook();
    } catch (const BindError &e) {
      FLastErrMsg = e.Message;
      // Entries bound before the missing one would point into a released module.
      Unfix(ALibrary);
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
  ReleaseDependencies(ALibrary);
}

void TFFmpegLoader::ReleaseDependencies(TLibrary ALibrary) {
  std::vector<void *> &deps = FStatus[ALibrary].Dependencies;
  for (auto it = deps.rbegin(); it != deps.rend(); ++it) dlclose(*it);
  deps.clear();
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

std::string DefaultLibraryPath() {
  const std::string beside = ProgramFolder() + "LibAV";
  // An installed program: <prefix>/bin beside <prefix>/lib/quorvel/LibAV.
  const std::string installed = ProgramFolder() + "../lib/quorvel/LibAV";
  struct stat sb {};
  if (::stat(beside.c_str(), &sb) != 0 && ::stat(installed.c_str(), &sb) == 0 &&
      S_ISDIR(sb.st_mode))
    return installed;
  return beside;
}

bool AVLibLoaded(TLibraries ALibraries) {
  return FFLoader().Loaded(ALibraries);
}

bool LoadAVLib(TLibraries ALibraries, const std::string &APath, std::string &AErrMsg) {
  TFFmpegLoader &loader = FFLoader();
  loader.SetLibraryPath(APath);
  if (loader.Load(ALibraries)) return true;
  AErrMsg = loader.LastErrMsg();
  return false;
}

void UnloadAVLib(TLibraries ALibraries) {
  FFLoader().Unload(ALibraries);
}

std::mutex &CodecLock() {
  static std::mutex lock;
  return lock;
}
