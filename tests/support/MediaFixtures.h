// Small deterministic media files for tests and benchmarks, written at run time by the
// loaded media libraries (built-in encoders, plus libx264 / libmp3lame when present).
//
// Pictures: four coloured quadrants (top-left red, top-right green, bottom-left blue,
// bottom-right white) and a black marker square that moves one step per frame along the
// top edge. Sound: a sine tone per channel (440 Hz on channel 0, +110 Hz per further
// channel; the second audio track of a file starts at 660 Hz).
//
// Usage:
//   std::string path = qvtest::Fixture(qvtest::TFixture::Mp4);          // cached
//   qvtest::TClipParams params; params.Container = "matroska"; params.Extension = "mkv";
//   params.Audio = {qvtest::Track("flac", 48000, 6)};
//   std::string path2 = qvtest::MakeClip(params);                          // cached by params
//
// Every call loads the queue's library set first (FFLoader().Load(kQueueLibraries)) when it
// is not loaded yet. Files live in one temporary folder per process that is removed when
// the process ends (unless QUORVEL_KEEP_FIXTURES is set); identical requests return the same file
// without writing it again. Failures (an unknown muxer or encoder, a write error) raise
// std::runtime_error.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qvtest {

struct TAudioTrack {
  std::string Codec = "aac";  // encoder name (e.g. "aac", "mp2", "libmp3lame", "pcm_s16le", "flac")
  int SampleRate = 44100;
  int Channels = 2;
  int64_t BitRate = 96000;  // ignored by lossless encoders
  double FrequencyHz = 0;   // tone of channel 0; 0 = 440 Hz (660 Hz for a second track)
  std::string Language;     // stream tag "language"; empty = none
};

// A track with the given fields and the defaults above for the rest.
[[nodiscard]] inline TAudioTrack Track(std::string ACodec, int ASampleRate = 44100,
                                       int AChannels = 2, int64_t ABitRate = 96000,
                                       std::string ALanguage = {}) {
  TAudioTrack t;
  t.Codec = std::move(ACodec);
  t.SampleRate = ASampleRate;
  t.Channels = AChannels;
  t.BitRate = ABitRate;
  t.Language = std::move(ALanguage);
  return t;
}

// A subtitle shown from StartSec to EndSec.
struct TSubtitleCue {
  double StartSec = 0;
  double EndSec = 0;
  std::string Text;
};

// A subtitle stream. Text encoders ("subrip", "ass", "webvtt") carry the cue texts. The
// bitmap encoder "dvdsub" draws every cue as one opaque box of BoxColour (0xRRGGBB) at
// (Width / 8, Height * 3 / 4), Width / 2 wide and Height / 8 high (both made even), on
// a canvas of the clip's picture size.
struct TSubtitleTrack {
  std::string Codec = "subrip";
  std::vector<TSubtitleCue> Cues;
  std::string Language;
  uint32_t BoxColour = 0xffff00;
};

struct TClipParams {
  std::string Container =
      "mp4";              // muxer short name ("mp4", "avi", "matroska", "vob", "mpegts", ...)
  std::string Extension;  // file extension without dot; empty = Container
  double DurationSec = 2.0;
  // Video; an empty codec means no video stream.
  std::string VideoCodec = "mpeg4";
  int Width = 160;
  int Height = 120;
  int FrameRateNum = 25;
  int FrameRateDen = 1;
  int64_t VideoBitRate = 300000;
  std::string VideoLanguage;
  // Audio tracks, in stream order after the video stream (or before it, see AudioFirst).
  std::vector<TAudioTrack> Audio{TAudioTrack{}};
  bool AudioFirst = false;  // put the audio streams before the video stream
  // Subtitle streams, after the video and audio streams.
  std::vector<TSubtitleTrack> Subtitles;
  // Cover art: a JPEG of the first test picture at Width × Height, attached as a picture
  // stream after the others (for containers that carry one, such as mp3).
  bool CoverPicture = false;
  // Container tags, written in this order (e.g. {"title", "..."}, {"artist", "..."}).
  std::vector<std::pair<std::string, std::string>> Tags;
  // Muxer options (e.g. {"id3v2_version", "3"}).
  std::map<std::string, std::string> MuxerOptions;
};

// Writes a clip to a fresh file and returns its path (cached by params within the process).
[[nodiscard]] std::string MakeClip(const TClipParams &AParams);
// Writes a clip to the given path (no caching). Raises std::runtime_error on failure.
void WriteClip(const TClipParams &AParams, const std::string &APath);

enum class TFixture {
  Mp4,            // mpeg4 160x120 25 fps + aac stereo 44.1 kHz, 2 s
  Avi,            // mpeg4 + mp3 (mp2 without libmp3lame)
  Mkv,            // mpeg4 + flac
  MpegPs,         // mpeg2video + mp2 in MPEG program stream (.mpg)
  MpegTs,         // mpeg2video + mp2 in MPEG transport stream (.ts)
  Flv,            // flv1 + mp3 (mp2 in flv is not allowed: falls back to aac)
  Mp3,            // audio only: mp3 (mp2 in .mp3 without libmp3lame), 44.1 kHz stereo
  Wav,            // audio only: pcm_s16le 22.05 kHz mono
  VideoTwoAudio,  // mkv: mpeg4 + aac "eng" + mp2 "fre"
  AudioFirst,     // mkv: aac stereo as stream 0, mpeg4 as stream 1
  AudioOnly,      // same as Mp3
  Tagged,         // mp3 with ID3v2 tags title/artist/album/genre/track/date/comment
  SixChannels,    // mkv: mpeg4 + aac 5.1 (6 channels) 48 kHz
  ZeroLength,     // empty file named .avi
  Truncated,      // first 3000 bytes of the Mp4 fixture (moov missing)
  Large720p,      // benchmark input: 1280x720 25 fps, 10 s, libx264 (mpeg4 without) + aac
  Subtitled,      // mkv: mpeg4 + pcm_s16le mono 22.05 kHz + subrip "eng" with "Hello" at
                  // 0.48-0.9 s and "第二行" at 1.44-1.9 s + dvdsub "chi" with yellow boxes
                  // at the same times. Both cues begin on a key picture (every 12th), so a
                  // seek to one finds them.
};

// "Mp4", "VideoTwoAudio", ...: the enumerator's name (for test names).
[[nodiscard]] const char *FixtureName(TFixture AKind);

// Path of a named fixture (written on first use within the process).
[[nodiscard]] std::string Fixture(TFixture AKind);

// The process's fixture folder (created on first use).
[[nodiscard]] std::string FixtureDir();

// True when the loaded avcodec has an encoder of this name.
[[nodiscard]] bool HasEncoder(const std::string &AName);

}  // namespace qvtest
