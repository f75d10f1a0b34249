// Decoded pictures as 24-bit bitmaps (and back), the preview window of a running
// conversion, and frame-hook modules that process decoded pictures in place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../FFmpegLoader/MediaHeaders.h"

// A 24-bit picture, rows top to bottom, bytes B, G, R; rows padded to 4 bytes.
struct TFrameBitmap {
  int Width = 0;
  int Height = 0;
  int Stride = 0;
  std::vector<uint8_t> Pixels;

  void Resize(int AWidth, int AHeight);
  [[nodiscard]] uint8_t *Row(int AY) { return Pixels.data() + static_cast<size_t>(AY) * Stride; }
  [[nodiscard]] const uint8_t *Row(int AY) const {
    return Pixels.data() + static_cast<size_t>(AY) * Stride;
  }
};

// Converts decoded pictures into a bitmap and the bitmap back into the picture's format.
// Buffers and scalers are kept and grown on demand.
struct TRGBConvertContext {
  AVPixelFormat RGBPixFmt = AV_PIX_FMT_BGR24;
  int BMPPixFmt = 24;  // bits per pixel of the bitmap
  TFrameBitmap Bitmap;
  uint8_t *RGBBuf = nullptr;
  int RGBBufSize = 0;
  uint8_t *RGBPicture[4] = {};
  int RGBLinesize[4] = {};
  // Rows copied last: RGBPicture, or the source picture itself when it already fitted.
  const uint8_t *RGBPictureRef = nullptr;
  int RGBPictureRefLinesize = 0;
  bool Converted = false;  // the last FrameToBitmap went through the scaler
  SwsContext *toRGB_convert_ctx = nullptr;
  SwsContext *fromRGB_convert_ctx = nullptr;

  TRGBConvertContext() = default;
  TRGBConvertContext(const TRGBConvertContext &) = delete;
  TRGBConvertContext &operator=(const TRGBConvertContext &) = delete;
  ~TRGBConvertContext() { Reset(); }

  void Reset();
  // Picture planes and line sizes as in AVFrame.
  bool FrameToBitmap(const uint8_t *const AData[4], const int ALinesize[4], AVPixelFormat AFormat,
                     int AHeight, int AWidth);
  bool FrameToBitmap(const AVFrame *AFrame) {
    return FrameToBitmap(AFrame->data, AFrame->linesize, static_cast<AVPixelFormat>(AFrame->format),
                         AFrame->height, AFrame->width);
  }
  // Writes the bitmap's rows back into the picture (converting with a bicubic scaler when
  // its format is not 24-bit BGR). False when no scaler can be had.
  bool BitmapToFrame(AVFrame *AFrame);
};

// The window of a running conversion's preview, provided by the application. Paint is
// called in the conversion thread; it returns false once the user has closed the window.
class IPreviewWindow {
 public:
  virtual ~IPreviewWindow() = default;
  virtual bool Paint(const TFrameBitmap &ABitmap, int AFrameNumber, int64_t APTS) = 0;
};
using TPreviewWindowFactory = std::function<std::unique_ptr<IPreviewWindow>()>;
// Process-wide; without a factory no preview window is shown and PaintFrame fails.
void SetPreviewWindowFactory(TPreviewWindowFactory AFactory);

class TPreviewer {
 public:
  // False when the window was closed (then it stays closed) or cannot be made.
  bool PaintFrame(const TFrameBitmap &ABitmap, int AFrameNumber, int64_t APTS);
  [[nodiscard]] bool Closed() const { return closed; }

 private:
  std::unique_ptr<IPreviewWindow> FWindow;
  bool closed = false;
};

// The picture a frame-hook module receives: four planes and their line sizes.
struct TFrameHookPicture {
  uint8_t *data[4];
  int linesize[4];
};

// Frame-hook module entry points (C calling convention).
extern "C" {
using TFrameHookConfigure = int (*)(void **ACtx, int AArgc, char *AArgv[]);
using TFrameHookProcess = void (*)(void *ACtx, TFrameHookPicture *APicture, int APixFmt, int AWidth,
                                   int AHeight, int64_t APTS);
using TFrameHookRelease = void (*)(void *ACtx);
}

struct TFrameHookEntry {
  TFrameHookConfigure Configure = nullptr;
  TFrameHookProcess Process = nullptr;
  TFrameHookRelease Release = nullptr;
  void *ctx = nullptr;
};

class TFrameHookChain {
 public:
  TFrameHookChain() = default;
  TFrameHookChain(const TFrameHookChain &) = delete;
  TFrameHookChain &operator=(const TFrameHookChain &) = delete;
  ~TFrameHookChain() { Release(); }
  // Arguments: the module file name, then the module's own arguments. 0, -1 (not
  // loadable), -2 (entry point missing or no arguments), -22 (Configure failed).
  int Add(const std::vector<std::string> &AArgs);
  void Run(AVFrame *AFrame, int64_t APTS);
  void Release();
  [[nodiscard]] bool Empty() const { return FEntries.empty(); }
  [[nodiscard]] size_t Size() const { return FEntries.size(); }

 private:
  std::vector<TFrameHookEntry> FEntries;
};
