// Frame bitmaps, the preview window holder and frame-hook modules.
#include "FrameBitmap.h"

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <mutex>

#include "../FFmpegLoader/FFmpegLoader.h"
#include "EngineSupport.h"

using namespace engine;

void TFrameBitmap::Resize(int AWidth, int AHeight) {
  Width = std::max(AWidth, 0);
  Height = std::max(AHeight, 0);
  Stride = ((Width * 24 + 31) / 32) * 4;
  const size_t size = static_cast<size_t>(Stride) * Height;
  if (Pixels.size() != size) Pixels.assign(size, 0);
}

void TRGBConvertContext::Reset() {
  Bitmap = TFrameBitmap{};
  if (RGBBuf) ff::util.av_freep(&RGBBuf);
  RGBBufSize = 0;
  std::memset(RGBPicture, 0, sizeof RGBPicture);
  std::memset(RGBLinesize, 0, sizeof RGBLinesize);
  RGBPictureRef = nullptr;
  RGBPictureRefLinesize = 0;
  Converted = false;
  if (toRGB_convert_ctx) ff::scale.sws_freeContext(toRGB_convert_ctx);
  if (fromRGB_convert_ctx) ff::scale.sws_freeContext(fromRGB_convert_ctx);
  toRGB_convert_ctx = fromRGB_convert_ctx = nullptr;
  RGBPixFmt = AV_PIX_FMT_BGR24;
  BMPPixFmt = 24;
}

bool TRGBConvertContext::FrameToBitmap(const uint8_t *const AData[4], const int ALinesize[4],
                                       AVPixelFormat AFormat, int AHeight, int AWidth) {
  if (AWidth <= 0 || AHeight <= 0 || !AData[0]) return false;
  Bitmap.Resize(AWidth, AHeight);
  Converted =
      AFormat != RGBPixFmt || (AWidth & 1) || (AHeight & 1) || ALinesize[0] != Bitmap.Stride;
  if (Converted) {
    // Rows of the buffer have the bitmap's padded size, so one copy fits both.
    const int size = ff::util.av_image_get_buffer_size(RGBPixFmt, AWidth, AHeight, 4);
    if (size <= 0) return false;
    if (!RGBBuf || RGBBufSize < size) {
      ff::util.av_freep(&RGBBuf);
      RGBBuf = static_cast<uint8_t *>(ff::util.av_malloc(static_cast<size_t>(size)));
      RGBBufSize = RGBBuf ? size : 0;
      if (!RGBBuf) return false;
    }
    ff::util.av_image_fill_arrays(RGBPicture, RGBLinesize, RGBBuf, RGBPixFmt, AWidth, AHeight, 4);
    toRGB_convert_ctx =
        ff::scale.sws_getCachedContext(toRGB_convert_ctx, AWidth, AHeight, AFormat, AWidth, AHeight,
                                       RGBPixFmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!toRGB_convert_ctx) return false;
    ff::scale.sws_scale(toRGB_convert_ctx, AData, ALinesize, 0, AHeight, RGBPicture, RGBLinesize);
    RGBPictureRef = RGBPicture[0];
    RGBPictureRefLinesize = RGBLinesize[0];
  } else {
    RGBPictureRef = AData[0];
    RGBPictureRefLinesize = ALinesize[0];
  }
  const size_t row = static_cast<size_t>(std::min(RGBPictureRefLinesize, Bitmap.Stride));
  for (int y = 0; y < AHeight; ++y)
    std::memcpy(Bitmap.Row(y), RGBPictureRef + static_cast<ptrdiff_t>(y) * RGBPictureRefLinesize,
                row);
  return true;
}

bool TRGBConvertContext::BitmapToFrame(AVFrame *AFrame) {
  if (Bitmap.Width != AFrame->width || Bitmap.Height != AFrame->height) return false;
  const int w = AFrame->width, h = AFrame->height;
  if (!Converted) {
    const size_t row = static_cast<size_t>(std::min(AFrame->linesize[0], Bitmap.Stride));
    for (int y = 0; y < h; ++y)
      std::memcpy(AFrame->data[0] + static_cast<ptrdiff_t>(y) * AFrame->linesize[0], Bitmap.Row(y),
                  row);
    return true;
  }
  for (int y = 0; y < h; ++y)
    std::memcpy(RGBPicture[0] + static_cast<ptrdiff_t>(y) * RGBLinesize[0], Bitmap.Row(y),
                static_cast<size_t>(std::min(RGBLinesize[0], Bitmap.Stride)));
  const auto fmt = static_cast<AVPixelFormat>(AFrame->format);
  fromRGB_convert_ctx = ff::scale.sws_getCachedContext(fromRGB_convert_ctx, w, h, RGBPixFmt, w, h,
                                                       fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!fromRGB_convert_ctx) return false;
  ff::scale.sws_scale(fromRGB_convert_ctx, RGBPicture, RGBLinesize, 0, h, AFrame->data,
                      AFrame->linesize);
  return true;
}

// ---------------------------------------------------------------- preview window

namespace {
std::mutex &FactoryLock() {
  static std::mutex lock;
  return lock;
}
TPreviewWindowFactory &Factory() {
  static TPreviewWindowFactory factory;
  return factory;
}
}  // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory AFactory) {
  std::lock_guard<std::mutex> g(FactoryLock());
  Factory() = std::move(AFactory);
}

bool TPreviewer::PaintFrame(const TFrameBitmap &ABitmap, int AFrameNumber, int64_t APTS) {
  if (closed) return false;
  if (!FWindow) {
    TPreviewWindowFactory make;
    {
      std::lock_guard<std::mutex> g(FactoryLock());
      make = Factory();
    }
    if (make) FWindow = make();
    if (!FWindow) {
      closed = true;
      return false;
    }
  }
  if (!FWindow->Paint(ABitmap, AFrameNumber, APTS)) closed = true;
  return !closed;
}

// ---------------------------------------------------------------- frame hooks

namespace {
// Modules are loaded once per process and stay loaded until the program ends.
std::mutex &ModuleLock() {
  static std::mutex lock;
  return lock;
}
std::map<std::string, void *> &Modules() {
  static std::map<std::string, void *> modules;
  return modules;
}
}  // namespace

int TFrameHookChain::Add(const std::vector<std::string> &AArgs) {
  if (AArgs.empty()) return -2;
  const std::string &name = AArgs[0];
  void *module = nullptr;
  {
    std::lock_guard<std::mutex> g(ModuleLock());
    auto it = Modules().find(name);
    if (it != Modules().end()) {
      module = it->second;
    } else {
      module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!module) {
        const char *err = dlerror();
        ff::util.av_log(nullptr, AV_LOG_ERROR, "%s\n", err ? err : "cannot load module");
        return -1;
      }
      Modules()[name] = module;
    }
  }
  TFrameHookEntry e;
  e.Configure = reinterpret_cast<TFrameHookConfigure>(dlsym(module, "Configure"));
  e.Process = reinterpret_cast<TFrameHookProcess>(dlsym(module, "Process"));
  e.Release = reinterpret_cast<TFrameHookRelease>(dlsym(module, "Release"));
  if (!e.Process) {
    ff::util.av_log(nullptr, AV_LOG_ERROR, "Failed to find Process entrypoint in %s\n",
                    name.c_str());
    return -2;
  }
  if (!e.Configure && AArgs.size() > 1) {
    ff::util.av_log(nullptr, AV_LOG_ERROR, "Failed to find Configure entrypoint in %s\n",
                    name.c_str());
    return -2;
  }
  if (e.Configure) {
    std::vector<std::string> copies(AArgs);
    std::vector<char *> argv;
    for (std::string &s : copies) argv.push_back(s.data());
    argv.push_back(nullptr);
    if (e.Configure(&e.ctx, static_cast<int>(AArgs.size()), argv.data()) != 0) {
      ff::util.av_log(nullptr, AV_LOG_ERROR, "Failed to Configure %s\n", name.c_str());
      return -22;
    }
  }
  FEntries.push_back(e);
  return 0;
}

void TFrameHookChain::Run(AVFrame *AFrame, int64_t APTS) {
  TFrameHookPicture pic{};
  for (int i = 0; i < 4; ++i) {
    pic.data[i] = AFrame->data[i];
    pic.linesize[i] = AFrame->linesize[i];
  }
  for (const TFrameHookEntry &e : FEntries)
    e.Process(e.ctx, &pic, AFrame->format, AFrame->width, AFrame->height, APTS);
}

void TFrameHookChain::Release() {
  for (const TFrameHookEntry &e : FEntries)
    if (e.Release) e.Release(e.ctx);
  FEntries.clear();
}
