// The loader with real folders. A library stays in a process once it has been loaded
// there, so every case runs in a fresh process of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "FFUtils/FFUtils.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegLogger/FFmpegLogger.h"

namespace fs = std::filesystem;

namespace {

const char *const kSystemDirs[] = {"/usr/lib/x86_64-linux-gnu/", "/lib/x86_64-linux-gnu/",
                                   "/usr/lib64/", "/usr/lib/"};

// The real file behind a library name of the system search.
std::string SystemLibrary(const std::string &AName) {
  for (const char *dir : kSystemDirs)
    if (fs::exists(dir + AName)) return fs::canonical(dir + AName).string();
  return {};
}

// The post-processing library the filter library needs ("libpostproc.so.N").
std::string PostprocName() {
  const std::regex pattern("libpostproc\\.so\\.[0-9]+");
  for (const char *dir : kSystemDirs) {
    if (!fs::is_directory(dir)) continue;
    for (const auto &e : fs::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      if (std::regex_match(name, pattern)) return name;
    }
  }
  return {};
}

fs::path MakeLibAV(const std::string &ATag) {
  const fs::path dir = fs::path(testing::TempDir()) /
                       ("qv_loader_" + ATag + "_" + std::to_string(::getpid())) / "LibAV";
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string Maps() {
  std::ifstream in("/proc/self/maps");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// In the child process: report what went wrong on stderr and end with exit code 1.
void Check(bool ACondition, const std::string &AWhat) {
  if (ACondition) return;
  std::fprintf(stderr, "check failed: %s\n", AWhat.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

#define EXPECT_IN_FRESH_PROCESS(body)               \
  do {                                              \
    GTEST_FLAG_SET(death_test_style, "threadsafe"); \
    EXPECT_EXIT(                                    \
        {                                           \
          body;                                     \
          std::_Exit(0);                            \
        },                                          \
        testing::ExitedWithCode(0), "");            \
  } while (0)

}  // namespace

TEST(LoaderFolder, LibrariesAndTheirOwnDependenciesComeFromTheFolder) {
  EXPECT_IN_FRESH_PROCESS({
    const fs::path dir = MakeLibAV("deps");
    std::vector<std::string> names;
    for (TLibrary lib : {avUtil, swResample, swScale, avCodec, avFormat, avFilter})
      names.push_back(TFFmpegLoader::LibraryFileName(lib));
    names.push_back(PostprocName());
    for (const std::string &name : names) {
      Check(!SystemLibrary(name).empty(), "system copy of " + name);
      fs::copy_file(SystemLibrary(name), dir / name);
    }
    std::string err;
    Check(LoadAVLib(kQueueLibraries, dir.string(), err), "load: " + err);
    Check(FFLoader().LibraryPath() == dir.string(), "library path");
    const std::string maps = Maps();
    for (const std::string &name : names) {
      Check(maps.find((dir / name).string()) != std::string::npos, name + " from the folder");
      Check(maps.find(SystemLibrary(name)) == std::string::npos, name + " not from the system");
    }
    Check(AV_VERSION_MAJOR(ff::codec.avcodec_version()) == LIBAVCODEC_VERSION_MAJOR, "call");
    fs::remove_all(dir.parent_path());
  });
}

TEST(LoaderFolder, MissingEntryPointFailsAndLeavesTheLibraryUnloaded) {
  EXPECT_IN_FRESH_PROCESS({
    const fs::path dir = MakeLibAV("fake");
    const std::string name = TFFmpegLoader::LibraryFileName(swScale);
    fs::copy_file(QV_FAKE_LIBRARY, dir / name);
    TFFmpegLoader &loader = FFLoader();
    loader.SetLibraryPath(dir.string());
    Check(!loader.Load(swScale), "fake scaler loaded");
    const std::string prefix = "Load function sws_freeContext@" + name + " error: ";
    Check(loader.LastErrMsg().rfind(prefix, 0) == 0, "message: " + loader.LastErrMsg());
    Check(loader.LastErrMsg().size() > prefix.size(), "system text missing");
    Check(!loader.Loaded(swScale), "still loaded");
    Check(ff::scale.sws_scale == nullptr, "entries left bound");
    Check(Maps().find((dir / name).string()) == std::string::npos, "module not released");
    // In a set the failure releases every member, those from the system search too.
    Check(!loader.Load(kProbeLibraries), "probe set loaded");
    Check(!loader.Loaded(avCodec) && !loader.Loaded(avUtil), "set not released");
    fs::remove_all(dir.parent_path());
  });
}

TEST(LoaderFolder, EmptyPathAndMissingFilesUseTheSystemSearch) {
  EXPECT_IN_FRESH_PROCESS({
    Check(DefaultLibraryPath() == ProgramFolder() + "LibAV", "default folder");
    std::string err;
    Check(LoadAVLib({avUtil}, "", err), "empty path: " + err);
    const std::string util = SystemLibrary(TFFmpegLoader::LibraryFileName(avUtil));
    Check(Maps().find(util) != std::string::npos, "avutil from the system");

    // A folder without the file falls back to the system; a broken file in it does not.
    const fs::path dir = MakeLibAV("broken");
    const std::string device = TFFmpegLoader::LibraryFileName(avDevice);
    std::ofstream(dir / device) << "not a library";
    Check(LoadAVLib({swResample}, dir.string(), err), "fallback: " + err);
    Check(!LoadAVLib({avDevice}, dir.string(), err), "broken file loaded");
    const std::string prefix = "Load library " + (dir / device).string() + " error: ";
    Check(err.rfind(prefix, 0) == 0 && err.size() > prefix.size(), "message: " + err);
    fs::remove_all(dir.parent_path());
  });
}

TEST(LoaderFolder, UnloadingOneComponentsSetUnloadsSharedLibrariesForEveryone) {
  EXPECT_IN_FRESH_PROCESS({
    std::string err;
    Check(LoadAVLib(kQueueLibraries, "", err), "queue set: " + err);
    const auto bound = ff::codec.avcodec_open2;
    Check(LoadAVLib(kProbeLibraries, "", err), "probe set: " + err);
    Check(ff::codec.avcodec_open2 == bound, "rebound");
    UnloadAVLib(kProbeLibraries);
    Check(!AVLibLoaded(kQueueLibraries), "queue set still loaded");
    Check(FFLoader().Loaded(avFilter), "avfilter is not the probe's");
    Check(ff::codec.avcodec_open2 == nullptr, "entries left bound");
    Check(LoadAVLib(kQueueLibraries, "", err), "reload: " + err);
  });
}

TEST(LoaderFolder, LoadingAVUtilInstallsTheLogCallbackUnlessTurnedOff) {
  EXPECT_IN_FRESH_PROCESS({
    std::vector<std::string> lines;
    GlobalLogger().SetTriggerEventInMainThread(false);
    GlobalLogger().SetOnLog(
        [&](const void *, uint32_t, TLogLevel, const std::string &m) { lines.push_back(m); });
    FFLoader().SetInstallLogger(false);
    std::string err;
    Check(LoadAVLib({avUtil}, "", err), "load: " + err);
    ff::util.av_log(nullptr, AV_LOG_ERROR, "not ours\n");
    Check(lines.empty(), "callback installed although turned off");
    UnloadAVLib({avUtil});
    FFLoader().SetInstallLogger(true);
    Check(LoadAVLib({avUtil}, "", err), "reload: " + err);
    ff::util.av_log(nullptr, AV_LOG_ERROR, "ours\n");
    Check(lines.size() == 1 && lines[0] == "ours", "library line not delivered");
    GlobalLogger().SetOnLog(nullptr);
  });
}
