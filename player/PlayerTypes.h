// Types the preview player shares with its host: play states, settings enumerations,
// the 24-bit picture it hands out and the surface it draws into.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };
enum TAudioDriver { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };
enum TRepeatType { rtNone, rtStop, rtLoop };
enum TShowAudio { saNone, saWave, saRDFT };
enum Tav_sync_type { AV_SYNC_AUDIO_MASTER, AV_SYNC_VIDEO_MASTER, AV_SYNC_EXTERNAL_CLOCK };

// Seek flags; the values are the demuxer's own flag bits.
enum TSeekFlag : unsigned { sfBackward = 1, sfByte = 2, sfAny = 4, sfFrame = 8 };
using TSeekFlags = unsigned;

// A 24-bit picture, rows top to bottom, bytes R, G, B.
struct TPlayerBitmap {
  int Width = 0;
  int Height = 0;
  int Stride = 0;  // bytes per row
  std::vector<uint8_t> Pixels;

  void Resize(int AWidth, int AHeight) {
    Width = AWidth > 0 ? AWidth : 0;
    Height = AHeight > 0 ? AHeight : 0;
    Stride = Width * 3;
    Pixels.assign(static_cast<size_t>(Stride) * Height, 0);
  }
  [[nodiscard]] uint8_t *Row(int AY) { return Pixels.data() + static_cast<size_t>(AY) * Stride; }
  [[nodiscard]] const uint8_t *Row(int AY) const {
    return Pixels.data() + static_cast<size_t>(AY) * Stride;
  }
};

// The host's drawing area. Present and Clear come from the player's threads (display
// thread, or the caller's for a cleared display); an implementation copies what it
// needs and schedules its own repaint.
class IVideoSurface {
 public:
  virtual ~IVideoSurface() = default;
  // Size of the drawing area in pixels.
  virtual void ClientSize(int &AWidth, int &AHeight) = 0;
  // A picture already scaled to the drawing size (centred by the host).
  virtual void Present(const TPlayerBitmap &APicture) = 0;
  // Paint the whole area black.
  virtual void Clear() = 0;
  // The text subtitle to show over the picture from now on (UTF-8, lines split by '\n'),
  // empty for none. Comes from the display thread before the picture it belongs to;
  // bitmap subtitles arrive drawn into the pictures instead.
  virtual void SubtitleText(const std::string &AText) { (void)AText; }
};
