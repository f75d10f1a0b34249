// Option table and parser: SetOption, the direct setters, codec lookup by name.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

namespace {

int StrToInt(const std::string &AValue) {
  const std::string v = Trim(AValue);
  char *end = nullptr;
  errno = 0;
  long long r = std::strtoll(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || errno == ERANGE || r < INT32_MIN || r > INT32_MAX)
    throw FFmpegException("'" + AValue + "' is not a valid integer value");
  return static_cast<int>(r);
}

int64_t StrToInt64(const std::string &AValue) {
  const std::string v = Trim(AValue);
  char *end = nullptr;
  errno = 0;
  long long r = std::strtoll(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || errno == ERANGE)
    throw FFmpegException("'" + AValue + "' is not a valid integer value");
  return r;
}

float StrToFloat(const std::string &AValue) {
  const std::string v = Trim(AValue);
  char *end = nullptr;
  double r = std::strtod(v.c_str(), &end);
  if (v.empty() || *end != '\0')
    throw FFmpegException("'" + AValue + "' is not a valid floating point value");
  return static_cast<float>(r);
}

bool BoolValue(const std::string &AValue) {
  return AValue != "0";
}

// Reads a C integer literal (decimal, 0x hexadecimal, leading-zero octal) at p.
int ReadCInt(const char *&p) {
  char *end = nullptr;
  long r = std::strtol(p, &end, 0);
  p = end;
  return static_cast<int>(r);
}

}  // namespace

void TCustomFFmpeg::ResetSettings() {
  Flast_asked_format.clear();
  Fpgmyuv_compatibility_hack = 0;
  Floop_input = false;
  Floop_output = -1;
  Fopt_programid = 0;
  Fmetadata.clear();
  Frecording_timestamp = 0;
  Flimit_filesize = 0;
  Fstart_time = 0;
  Frecording_time = INT64_MAX;
  Finput_ts_offset = 0;
  Fpending_ts_scale.fill(0);
  FTotalOutputDuration = -1;
  Fframe_width = Fframe_height = 0;
  Fframe_aspect_ratio = 0;
  Fframe_pix_fmt = -1;
  Fframe_topBand = Fframe_bottomBand = Fframe_leftBand = Fframe_rightBand = 0;
  Fframe_rate = AVRational{0, 0};
  Fvideo_qscale = 0;
  Fintra_matrix.clear();
  Finter_matrix.clear();
  Fvideo_rc_override_string.clear();
  Fvideo_disable = false;
  Fvideo_discard = 0;
  Fvideo_codec_name.clear();
  Fvideo_stream_copy = 0;
  Fvideo_codec_tag = 0;
  Fvideo_language.clear();
  Fsame_quality = Fdo_deinterlace = false;
  Ftop_field_first = -1;
  Fme_threshold = 0;
  Fintra_dc_precision = 8;
  Fqp_hist = false;
  Fvfilters.clear();
  Fintra_only = false;
  Fvideo_sync_method = -1;
  Fvideo_global_header = 0;
  Fforce_fps = false;
  Fvideo_channel = 0;
  Fvideo_standard.clear();
  Fdo_psnr = false;
  Fdo_pass = 0;
  Fpass_logfilename_prefix.clear();
  Fvstats_filename.clear();
  Fusing_vhook = false;
  Faudio_sample_rate = 44100;
  Faudio_channels = 2;
  Fchannel_layout = 0;
  Faudio_sample_fmt = -1;
  Faudio_qscale = -99999.0f;
  Faudio_disable = false;
  Faudio_codec_name.clear();
  Faudio_stream_copy = 0;
  Faudio_codec_tag = 0;
  Faudio_language.clear();
  Faudio_volume = 256;
  Faudio_sync_method = 0;
  Faudio_drift_threshold = 0.1f;
  Fsubtitle_disable = false;
  Fsubtitle_codec_name.clear();
  Fsubtitle_stream_copy = 0;
  Fsubtitle_codec_tag = 0;
  Fsubtitle_language.clear();
  Fmux_preload = 0.5f;
  Fmux_max_delay = 0.7f;
  Fcopy_ts = Fopt_shortest = false;
  Fdts_delta_threshold = 10.0f;
  Fcopy_initial_nonkeyframes = 0;
  Frate_emu = Finput_sync = Fexit_on_error = false;
  for (int &m : Fmax_frames) m = INT32_MAX;
  Fdo_pkt_dump = Fdo_hex_dump = false;
  Fverbose = 1;
  Fthread_count = 0;
  Fsws_flags = 4;
  Fbit_buffer_size = 262144;
  Fstream_maps.clear();
  Fmeta_data_maps.clear();
  for (int &id : Fstreamid_map) id = 0;
  Fvideo_bitstream_filters.clear();
  Faudio_bitstream_filters.clear();
  Fsubtitle_bitstream_filters.clear();
  FHasCustomHook = FHasPostHooks = false;
  FFatalException = false;
  {
    std::lock_guard<std::mutex> g(FStateLock);
    FFatalMessage.clear();
  }
}

int64_t TCustomFFmpeg::ParseTimeOrRaise(const std::string &AOpt, const std::string &AValue,
                                        bool ADuration) {
  int64_t t = 0;
  if (ff::util.av_parse_time(&t, AValue.c_str(), ADuration ? 1 : 0) < 0 || t == INT64_MIN)
    throw FFmpegException(Format("Invalid %s specification for %s: %s",
                                 ADuration ? "duration" : "date", AOpt.c_str(), AValue.c_str()));
  return t;
}

void TCustomFFmpeg::SetGeneric(const std::string &AName, const std::string &AValue) {
  if (!OptionsAllocated()) (void)FOptions.Allocate(static_cast<int>(Fsws_flags));
  // "b" is the video bit rate here (the audio one is "ab"); the store's "vb" route
  // sets it on the video context alone.
  (void)FOptions.Set(AName == "b" ? "vb" : AName, AValue);
}

void TCustomFFmpeg::SetCodecName(std::string &AName, int &ACopy, const std::string &AValue) {
  if (AValue.empty()) return;
  AName.clear();
  if (AValue == "copy")
    ACopy = 1;
  else
    AName = AValue;
}

void TCustomFFmpeg::ParseMatrix(std::vector<uint16_t> &AMatrix, const std::string &AValue) {
  AMatrix.assign(64, 0);
  const char *p = AValue.c_str();
  for (int i = 0; i < 64; ++i) {
    char *end = nullptr;
    AMatrix[i] = static_cast<uint16_t>(std::strtol(p, &end, 10));
    p = end;
    if (i < 63) {
      if (*p != ',')
        throw FFmpegException(
            Format("Syntax error in matrix \"%s\" at coeff %d", AValue.c_str(), i));
      ++p;
    }
  }
}

void TCustomFFmpeg::AddBitstreamFilter(const std::string &AOpt, const std::string &AValue) {
  if (!AValue.empty() && AValue[0] == '=') return;
  std::string name = AValue.substr(0, AValue.find('='));
  if (!ff::codec.av_bsf_get_by_name(name.c_str()))
    throw FFmpegException(Format("Unknown bitstream filter %s", Trim(AValue).c_str()));
  if (AOpt == "vbsf")
    Fvideo_bitstream_filters.push_back(name);
  else if (AOpt == "absf")
    Faudio_bitstream_filters.push_back(name);
  else
    Fsubtitle_bitstream_filters.push_back(name);
}

void TCustomFFmpeg::SetOption(const std::string &AName, const std::string &AValue) {
  const std::string &n = AName;
  const std::string &v = AValue;
  auto is = [&n](std::initializer_list<const char *> names) {
    for (const char *s : names)
      if (n == s) return true;
    return false;
  };

  if (is({"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "i", "y",
          "benchmark"})) {
    EngineLog(llInfo, "Do nothing: option - " + n);
    return;
  }
  if (n == "loglevel") return void(GlobalLogger().OptLogLevel(v));
  if (n == "timelimit")
    return EngineLog(llWarning, "Warning: -timelimit not implemented on Windows");
  if (n == "threads") throw FFmpegException("TODO: option - " + n);
  if (is({"padtop", "padbottom", "padleft", "padright", "padcolor"}))
    throw FFmpegException("Please use vfilters=pad");

  // General and timing
  if (n == "f") return SetFormat(v);
  if (n == "t") {
    Frecording_time = ParseTimeOrRaise(n, v, true);
    FTotalOutputDuration = Frecording_time;
    return;
  }
  if (n == "ss") {
    Fstart_time = ParseTimeOrRaise(n, v, true);
    return;
  }
  if (n == "itsoffset") {
    Finput_ts_offset = ParseTimeOrRaise(n, v, true);
    return;
  }
  if (n == "timestamp") {
    Frecording_timestamp = std::llround(ParseTimeOrRaise(n, v, false) / 1000000.0);
    return;
  }
  if (n == "itsscale") {
    const char *p = v.c_str();
    int stream = ReadCInt(p);
    if (*p) ++p;
    double scale = std::strtod(p, nullptr);
    if (stream < 0 || stream >= MAX_STREAMS)
      throw FFmpegException(Format("stream index over MAX_STREAMS(%d)", MAX_STREAMS));
    Fpending_ts_scale[stream] = scale;
    return;
  }
  if (n == "fs") {
    Flimit_filesize = StrToInt64(v);
    return;
  }
  if (n == "metadata") {
    size_t eq = v.find('=');
    if (eq == std::string::npos) throw FFmpegException("Missing =");
    return SetMetadata(v.substr(0, eq), v.substr(eq + 1));
  }
  if (n == "map") {
    if (static_cast<int>(Fstream_maps.size()) >= MAX_STREAMS * FMaxFiles)
      throw FFmpegException(Format("Too many stream maps (at most %d)", MAX_STREAMS * FMaxFiles));
    TAVStreamMap m;
    const char *p = v.c_str();
    m.file_index = ReadCInt(p);
    if (*p) ++p;
    m.stream_index = ReadCInt(p);
    if (*p) {
      ++p;
      m.sync_file_index = ReadCInt(p);
      if (*p) ++p;
      m.sync_stream_index = ReadCInt(p);
    } else {
      m.sync_file_index = m.file_index;
      m.sync_stream_index = m.stream_index;
    }
    Fstream_maps.push_back(m);
    return;
  }
  if (n == "map_meta_data") {
    if (static_cast<int>(Fmeta_data_maps.size()) >= FMaxFiles)
      throw FFmpegException(Format("Too many metadata maps (at most %d)", FMaxFiles));
    TAVMetaDataMap m;
    const char *p = v.c_str();
    m.out_file = ReadCInt(p);
    if (*p) ++p;
    m.in_file = ReadCInt(p);
    Fmeta_data_maps.push_back(m);
    return;
  }
  if (n == "dframes") return void(Fmax_frames[AVMEDIA_TYPE_DATA] = StrToInt(v));
  if (n == "vframes") return void(Fmax_frames[AVMEDIA_TYPE_VIDEO] = StrToInt(v));
  if (n == "aframes") return void(Fmax_frames[AVMEDIA_TYPE_AUDIO] = StrToInt(v));

  struct BoolOpt {
    const char *name;
    bool TCustomFFmpeg::*field;
  };
  static const BoolOpt kBools[] = {
      {"dump", &TCustomFFmpeg::Fdo_pkt_dump},      {"hex", &TCustomFFmpeg::Fdo_hex_dump},
      {"re", &TCustomFFmpeg::Frate_emu},           {"loop_input", &TCustomFFmpeg::Floop_input},
      {"shortest", &TCustomFFmpeg::Fopt_shortest}, {"isync", &TCustomFFmpeg::Finput_sync},
      {"intra", &TCustomFFmpeg::Fintra_only},      {"vn", &TCustomFFmpeg::Fvideo_disable},
      {"an", &TCustomFFmpeg::Faudio_disable},      {"sn", &TCustomFFmpeg::Fsubtitle_disable},
      {"sameq", &TCustomFFmpeg::Fsame_quality},    {"deinterlace", &TCustomFFmpeg::Fdo_deinterlace},
      {"psnr", &TCustomFFmpeg::Fdo_psnr},          {"qphist", &TCustomFFmpeg::Fqp_hist},
      {"force_fps", &TCustomFFmpeg::Fforce_fps}};
  for (const BoolOpt &b : kBools)
    if (n == b.name) return void(this->*b.field = BoolValue(v));
  if (n == "copyts") return void(Fcopy_ts = true);
  if (n == "xerror") return void(Fexit_on_error = true);
  if (n == "ar") return SetAudioSampleRate(StrToInt(v));
  if (n == "ac") return SetAudioChannels(StrToInt(v));

  struct IntOpt {
    const char *name;
    int TCustomFFmpeg::*field;
  };
  static const IntOpt kInts[] = {{"loop_output", &TCustomFFmpeg::Floop_output},
                                 {"v", &TCustomFFmpeg::Fverbose},
                                 {"vsync", &TCustomFFmpeg::Fvideo_sync_method},
                                 {"async", &TCustomFFmpeg::Faudio_sync_method},
                                 {"vglobal", &TCustomFFmpeg::Fvideo_global_header},
                                 {"programid", &TCustomFFmpeg::Fopt_programid},
                                 {"copyinkf", &TCustomFFmpeg::Fcopy_initial_nonkeyframes},
                                 {"vdt", &TCustomFFmpeg::Fvideo_discard},
                                 {"me_threshold", &TCustomFFmpeg::Fme_threshold},
                                 {"top", &TCustomFFmpeg::Ftop_field_first},
                                 {"dc", &TCustomFFmpeg::Fintra_dc_precision},
                                 {"vc", &TCustomFFmpeg::Fvideo_channel},
                                 {"vol", &TCustomFFmpeg::Faudio_volume}};
  for (const IntOpt &i : kInts)
    if (n == i.name) return void(this->*i.field = StrToInt(v));

  struct FloatOpt {
    const char *name;
    float TCustomFFmpeg::*field;
  };
  static const FloatOpt kFloats[] = {{"adrift_threshold", &TCustomFFmpeg::Faudio_drift_threshold},
                                     {"dts_delta_threshold", &TCustomFFmpeg::Fdts_delta_threshold},
                                     {"aq", &TCustomFFmpeg::Faudio_qscale},
                                     {"muxdelay", &TCustomFFmpeg::Fmux_max_delay},
                                     {"muxpreload", &TCustomFFmpeg::Fmux_preload}};
  for (const FloatOpt &f : kFloats)
    if (n == f.name) return void(this->*f.field = StrToFloat(v));

  if (n == "tvstd") return void(Fvideo_standard = v);
  if (n == "rc_override") return void(Fvideo_rc_override_string = v);
  if (n == "passlogfile") return void(Fpass_logfilename_prefix = v);
  if (n == "pass") {
    int p = StrToInt(v);
    if (p != 1 && p != 2) throw FFmpegException("pass number can be only 1 or 2");
    Fdo_pass = p;
    return;
  }
  if (n == "vstats") {
    std::time_t now = std::time(nullptr);
    std::tm lt{};
    localtime_r(&now, &lt);
    char hms[16];
    std::strftime(hms, sizeof hms, "%H%M%S", &lt);
    Fvstats_filename = Format("%svstats_%s.log", ProgramFolder().c_str(), hms);
    return;
  }
  if (n == "vstats_file") return void(Fvstats_filename = v);
  if (n == "target") {
    std::string t = Trim(v), norm;
    for (const char *p : {"pal-", "ntsc-", "film-"}) {
      std::string pre(p);
      if (t.compare(0, pre.size(), pre) == 0) {
        norm = pre.substr(0, pre.size() - 1);
        t = t.substr(pre.size());
        break;
      }
    }
    return ApplyTarget(t, norm, "ntsc");
  }
  if (n == "vlang") return void(Fvideo_language = v);
  if (n == "alang") return void(Faudio_language = v);
  if (n == "slang") return void(Fsubtitle_language = v);
  if (is({"newvideo", "newaudio", "newsubtitle"})) {
    if (Fnb_output_files <= 0) throw FFmpegException("At least one output file must be specified");
    TOutputFileSetup &out = *Foutput_files[Fnb_output_files - 1];
    if (n == "newvideo")
      new_video_stream(out);
    else if (n == "newaudio")
      new_audio_stream(out);
    else
      new_subtitle_stream(out);
    return;
  }
  if (n == "streamid") {
    size_t c = v.find(':');
    if (c == std::string::npos || c == 0 || c + 1 >= v.size())
      throw FFmpegException(
          Format("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"",
                 v.c_str(), n.c_str()));
    int index = StrToInt(v.substr(0, c));
    int id = StrToInt(v.substr(c + 1));
    if (index < 0 || index >= MAX_STREAMS)
      throw FFmpegException(Format("Invalid stream index %d for option \"%s\", must be 0 to %d",
                                   index, n.c_str(), MAX_STREAMS - 1));
    Fstreamid_map[index] = id;
    return;
  }
  if (is({"absf", "vbsf", "sbsf"})) return AddBitstreamFilter(n, v);
  if (is({"apre", "vpre", "spre", "fpre"})) return ApplyPreset(n, v);

  // Video
  if (is({"b", "vb", "ab"})) {
    if (!OptionsAllocated()) (void)FOptions.Allocate(static_cast<int>(Fsws_flags));
    if (FOptions.Set(n == "b" ? "vb" : n, v)) {
      AVCodecContext *c =
          FOptions.avcodec_opts[n[0] == 'a' ? AVMEDIA_TYPE_AUDIO : AVMEDIA_TYPE_VIDEO];
      if (c && c->bit_rate < 1000)
        EngineLog(llWarning,
                  "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not "
                  "kbits/s");
    }
    return;
  }
  if (n == "r") {
    if (v.empty()) return;
    AVRational r{0, 0};
    if (ff::util.av_parse_video_rate(&r, v.c_str()) < 0)
      throw FFmpegException("Incorrect frame rate");
    Fframe_rate = r;
    return;
  }
  if (n == "s") {
    if (v.empty()) return;
    int w = 0, h = 0;
    if (ff::util.av_parse_video_size(&w, &h, v.c_str()) < 0)
      throw FFmpegException("Incorrect frame size");
    Fframe_width = w;
    Fframe_height = h;
    return;
  }
  if (n == "aspect") {
    double ratio = 0;
    size_t c = v.find(':');
    if (c != std::string::npos) {
      int x = std::atoi(v.substr(0, c).c_str());
      int y = std::atoi(v.substr(c + 1).c_str());
      if (y > 0) ratio = static_cast<double>(x) / y;
    } else {
      ratio = std::atof(v.c_str());
    }
    if (ratio == 0) throw FFmpegException("Incorrect aspect ratio specification.");
    Fframe_aspect_ratio = static_cast<float>(ratio);
    return;
  }
  if (n == "pix_fmt") {
    if (v == "list") {
      EngineLog(llInfo, "Pixel formats:");
      for (int i = 0; i < AV_PIX_FMT_NB; ++i)
        if (const char *name = ff::util.av_get_pix_fmt_name(static_cast<AVPixelFormat>(i)))
          EngineLog(llInfo, name);
      return;
    }
    AVPixelFormat f = ff::util.av_get_pix_fmt(v.c_str());
    if (f == AV_PIX_FMT_NONE)
      throw FFmpegException(Format("Unknown pixel format requested: %s", v.c_str()));
    Fframe_pix_fmt = f;
    return;
  }
  if (n == "sample_fmt") {
    if (v == "list") {
      EngineLog(llInfo, "Sample formats:");
      for (int i = 0; i < AV_SAMPLE_FMT_NB; ++i)
        if (const char *name = ff::util.av_get_sample_fmt_name(static_cast<AVSampleFormat>(i)))
          EngineLog(llInfo, name);
      return;
    }
    Faudio_sample_fmt = ff::util.av_get_sample_fmt(v.c_str());
    return;
  }
  if (is({"croptop", "cropbottom", "cropleft", "cropright"})) {
    int band = StrToInt(v);
    if (band <= 0) return;
    const bool vertical = n == "croptop" || n == "cropbottom";
    int &size = vertical ? Fframe_height : Fframe_width;
    if (band >= size)
      throw FFmpegException(
          vertical ? "Vertical crop dimensions are outside the range of the original image.\n"
                     "Remember to crop first and scale second."
                   : "Horizontal crop dimensions are outside the range of the original image.\n"
                     "Remember to crop first and scale second.");
    EngineLog(llWarning, "CropXXX is deprecated in favor of the crop avfilter");
    (n == "croptop"      ? Fframe_topBand
     : n == "cropbottom" ? Fframe_bottomBand
     : n == "cropleft"   ? Fframe_leftBand
                         : Fframe_rightBand) = band;
    size -= band;
    return;
  }
  if (n == "qscale") {
    float q = StrToFloat(v);
    if (q <= 0 || q > 255) throw FFmpegException("qscale must be > 0.0 and <= 255");
    Fvideo_qscale = q;
    return;
  }
  if (n == "vcodec") return SetCodecName(Fvideo_codec_name, Fvideo_stream_copy, v);
  if (n == "acodec") return SetCodecName(Faudio_codec_name, Faudio_stream_copy, v);
  if (n == "scodec") return SetCodecName(Fsubtitle_codec_name, Fsubtitle_stream_copy, v);
  if (is({"vtag", "atag", "stag"})) {
    if (v.size() != 4)
      throw FFmpegException(n == "vtag"   ? "video tag parameter must be 4 chars"
                            : n == "atag" ? "audio tag parameter must be 4 chars"
                                          : "subtitle tag parameter must be 4 chars");
    uint32_t tag = static_cast<uint8_t>(v[0]) | static_cast<uint8_t>(v[1]) << 8 |
                   static_cast<uint8_t>(v[2]) << 16 |
                   static_cast<uint32_t>(static_cast<uint8_t>(v[3])) << 24;
    (n == "vtag" ? Fvideo_codec_tag : n == "atag" ? Faudio_codec_tag : Fsubtitle_codec_tag) = tag;
    return;
  }
  if (is({"vfilters", "vf"})) {
    if (!v.empty()) Fvfilters = v;
    return;
  }
  if (n == "intra_matrix") return ParseMatrix(Fintra_matrix, v);
  if (n == "inter_matrix") return ParseMatrix(Finter_matrix, v);
  if (n == "vhook") {
    const char sep = v.find('|') != std::string::npos ? '|' : ' ';
    std::vector<std::string> args;
    size_t pos = 0;
    while (pos <= v.size() && args.size() < 255) {
      size_t end = v.find(sep, pos);
      if (end == std::string::npos) end = v.size();
      if (end > pos) args.push_back(v.substr(pos, end - pos));
      pos = end + 1;
    }
    if (AddFrameHook(args) != 0) throw FFmpegException("Failed to add video hook function: " + v);
    return;
  }

  SetGeneric(n, v);
}

// ---- direct setters ----

void TCustomFFmpeg::SetFormat(const std::string &AValue) {
  if (AValue.empty()) return;
  if (AValue == "pgmyuv") {
    Flast_asked_format = "image2";
    Fpgmyuv_compatibility_hack = 1;
    EngineLog(llInfo, "pgmyuv format is deprecated, use image2");
  } else {
    Flast_asked_format = AValue;
  }
}

void TCustomFFmpeg::SetStartTime(int64_t AValueUs) {
  if (AValueUs != AV_NOPTS_VALUE) Fstart_time = AValueUs;
}

void TCustomFFmpeg::SetRecordingTime(int64_t AValueUs) {
  if (AValueUs == AV_NOPTS_VALUE) return;
  Frecording_time = AValueUs;
  FTotalOutputDuration = AValueUs;
}

void TCustomFFmpeg::SetProgramID(int AValue) {
  if (AValue >= 0) Fopt_programid = AValue;
}

void TCustomFFmpeg::SetAudioSampleRate(int AValue) {
  if (AValue > 0) Faudio_sample_rate = AValue;
}

void TCustomFFmpeg::SetAudioChannels(int AValue) {
  if (AValue > 0) Faudio_channels = AValue;
}

void TCustomFFmpeg::SetCropBands(int ATop, int ABottom, int ALeft, int ARight) {
  SetOption("croptop", std::to_string(ATop));
  SetOption("cropbottom", std::to_string(ABottom));
  SetOption("cropleft", std::to_string(ALeft));
  SetOption("cropright", std::to_string(ARight));
}

void TCustomFFmpeg::SetAudioVolume(int AValue) {
  if (AValue >= 0) Faudio_volume = AValue;
}

void TCustomFFmpeg::SetMuxMaxDelay(float AValue) {
  if (AValue > 0) Fmux_max_delay = AValue;
}

void TCustomFFmpeg::SetMuxPreload(float AValue) {
  if (AValue > 0) Fmux_preload = AValue;
}

void TCustomFFmpeg::SetGenericOption(const std::string &AName, int64_t AValue) {
  SetGeneric(AName, std::to_string(AValue));
}

void TCustomFFmpeg::SetMetadata(const std::string &AKey, const std::string &AValue) {
  Fmetadata.emplace_back(AKey, AValue);
}

bool TCustomFFmpeg::FindCodecByName(const std::string &AName, AVMediaType AType, bool AEncoder,
                                    int AStrict, AVCodecID &ACodecID, std::string &ALastErr) const {
  ACodecID = AV_CODEC_ID_NONE;
  if (AName.empty()) return true;
  const char *kind = AEncoder ? "encoder" : "decoder";
  const AVCodec *c = AEncoder ? ff::codec.avcodec_find_encoder_by_name(AName.c_str())
                              : ff::codec.avcodec_find_decoder_by_name(AName.c_str());
  if (!c) {
    ALastErr = Format("Unknown %s '%s'", kind, AName.c_str());
    return false;
  }
  if (c->type != AType) {
    ALastErr = Format("Invalid %s type '%s'", kind, AName.c_str());
    return false;
  }
  if ((c->capabilities & AV_CODEC_CAP_EXPERIMENTAL) && AStrict > FF_COMPLIANCE_EXPERIMENTAL) {
    ALastErr = Format(
        "%s '%s' is experimental and might produce bad results.\r\n"
        "Add '-strict experimental' if you want to use it.",
        kind, c->name);
    const AVCodec *d =
        AEncoder ? ff::codec.avcodec_find_encoder(c->id) : ff::codec.avcodec_find_decoder(c->id);
    if (d && !(d->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
      ALastErr += "\r\n" + Format("Or use the non experimental %s '%s'.", kind, d->name);
    return false;
  }
  ACodecID = c->id;
  return true;
}
