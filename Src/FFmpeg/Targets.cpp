// Targets (disc and camcorder formats by norm) and presets (built-in encoder presets
// and preset files): macros that expand into ordinary options.
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

namespace {

enum TNorm { nmPAL, nmNTSC, nmFilm };
const char *const kNormRates[3] = {"25", "30000/1001", "24000/1001"};

struct TX264Row {
  const char *name;
  const char *coder, *flags, *partitions, *me_method, *subq, *me_range, *sc_threshold, *b_strategy,
      *bf, *refs, *directpred, *trellis, *flags2, *wpredp, *cqp;
};

// nullptr = no such line.
const TX264Row kX264Rows[] = {
    {"default", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "7", "16", "40", "1",
     "3", "3", "1", "1", "+mixed_refs+wpred+dct8x8+fastpskip", "2", nullptr},
    {"fast", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "1", "3",
     "2", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", nullptr},
    {"fast_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40",
     "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", nullptr},
    {"faster", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "4", "16", "40", "1",
     "3", "2", "1", "1", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip", "1", nullptr},
    {"faster_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16",
     "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "1", nullptr},
    {"fastfirstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia", "2",
     "16", "40", "1", "3", "1", "3", "0", "-bpyramid-wpred-mixed_refs-dct8x8+fastpskip", "2",
     nullptr},
    {"hq", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "umh", "8", "16", "40", "2", "3",
     "4", "3", "1", "+wpred+mixed_refs+dct8x8+fastpskip", "2", nullptr},
    {"lossless_fast", "0", "+loop", "-parti8x8+parti4x4+partp8x8-partp4x4-partb8x8", "hex", "3",
     "16", "40", "1", nullptr, nullptr, "1", nullptr, "+fastpskip", "0", "0"},
    {"lossless_max", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "esa", "8",
     "16", "40", "1", nullptr, "16", "1", nullptr, "+mixed_refs+dct8x8+fastpskip", "2", "0"},
    {"lossless_medium", "1", "+loop", "-parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "hex", "5",
     "16", "40", "1", nullptr, nullptr, "1", nullptr, "+fastpskip", "2", "0"},
    {"lossless_slow", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "6",
     "16", "40", "1", nullptr, "2", "1", nullptr, "+dct8x8+fastpskip", "2", "0"},
    {"lossless_slower", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4-partb8x8", "umh", "8",
     "16", "40", "1", nullptr, "4", "1", nullptr, "+mixed_refs+dct8x8+fastpskip", "2", "0"},
    {"lossless_ultrafast", "0", "+loop", "-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8", "dia",
     "0", "16", "40", "1", nullptr, nullptr, "1", nullptr, "+fastpskip", nullptr, "0"},
    {"max", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24", "40",
     "2", "3", "16", "3", "2", "+wpred+mixed_refs+dct8x8-fastpskip", "2", nullptr},
    {"medium", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "7", "16", "40", "1",
     "3", "3", "1", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", nullptr},
    {"medium_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16",
     "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", nullptr},
    {"normal", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40", "1",
     "3", "2", "3", "0", "+wpred+dct8x8+fastpskip", "2", nullptr},
    {"placebo", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa", "10", "24",
     "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip", "2", nullptr},
    {"placebo_firstpass", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "tesa",
     "10", "24", "40", "2", "16", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8-fastpskip",
     "2", nullptr},
    {"slow", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "umh", "8", "16", "40", "2", "3",
     "5", "3", "1", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", nullptr},
    {"slow_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16", "40",
     "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", nullptr},
    {"slower", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "umh", "9", "16",
     "40", "2", "3", "8", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", nullptr},
    {"slower_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16",
     "40", "2", "3", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", nullptr},
    {"slowfirstpass", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "6", "16", "40",
     "2", "3", "1", "3", "0", "+wpred+dct8x8+fastpskip", "2", nullptr},
    {"superfast", "1", "+loop", "+parti8x8+parti4x4-partp8x8-partb8x8", "dia", "1", "16", "40", "1",
     "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "0", nullptr},
    {"superfast_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "1", "16",
     "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "0",
     nullptr},
    {"ultrafast", "0", "-loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "0", "16", "0", "0",
     "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "0", nullptr},
    {"ultrafast_firstpass", "0", "-loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "0", "16",
     "0", "0", "0", "1", "1", "0", "-bpyramid-mixed_refs-wpred-dct8x8+fastpskip-mbtree", "0",
     nullptr},
    {"veryfast", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partb8x8", "hex", "2", "16", "40", "1",
     "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred+dct8x8+fastpskip-mbtree", "0", nullptr},
    {"veryfast_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "16",
     "40", "1", "3", "1", "1", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree", "0",
     nullptr},
    {"veryslow", "1", "+loop", "+parti8x8+parti4x4+partp8x8+partp4x4+partb8x8", "umh", "10", "24",
     "40", "2", "8", "16", "3", "2", "+bpyramid+mixed_refs+wpred+dct8x8+fastpskip", "2", nullptr},
    {"veryslow_firstpass", "1", "+loop", "-parti8x8-parti4x4-partp8x8-partb8x8", "dia", "2", "24",
     "40", "2", "8", "1", "3", "0", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip", "2", nullptr},
};

std::string RowText(const TX264Row &r) {
  std::string s;
  auto add = [&s](const char *name, const char *value) {
    if (value) s += std::string(name) + "=" + value + "\n";
  };
  add("coder", r.coder);
  add("flags", r.flags);
  add("cmp", "+chroma");
  add("partitions", r.partitions);
  add("me_method", r.me_method);
  add("subq", r.subq);
  add("me_range", r.me_range);
  add("g", "250");
  add("keyint_min", "25");
  add("sc_threshold", r.sc_threshold);
  add("i_qfactor", "0.71");
  add("b_strategy", r.b_strategy);
  add("qcomp", "0.6");
  add("qmin", "10");
  add("qmax", "51");
  add("qdiff", "4");
  add("bf", r.bf);
  add("refs", r.refs);
  add("directpred", r.directpred);
  add("trellis", r.trellis);
  add("flags2", r.flags2);
  add("cqp", r.cqp);
  add("wpredp", r.wpredp);
  return s;
}

// The settings of "libx264-default" in the vocabulary of this generation's libx264
// wrapper: the old partition, direct-prediction and flags2 switches became options
// of the wrapper itself. Every H.264 conversion of the program uses this preset.
const char *const kX264DefaultToday =
    "coder=1\nflags=+loop\ncmp=+chroma\npartitions=i8x8,i4x4,p8x8,b8x8\nme_method=hex\nsubq=7\n"
    "me_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\nb_strategy=1\nqcomp=0.6\n"
    "qmin=10\nqmax=51\nqdiff=4\nbf=3\nrefs=3\ndirect-pred=spatial\ntrellis=1\nmixed-refs="
    "1\nweightb=1\n"
    "8x8dct=1\nfast-pskip=1\nwpredp=2\n";

const std::vector<std::pair<std::string, std::string>> &BuiltinPresets() {
  static const std::vector<std::pair<std::string, std::string>> table = [] {
    std::vector<std::pair<std::string, std::string>> t;
    for (const TX264Row &r : kX264Rows)
      t.emplace_back(std::string("libx264-") + r.name, std::string(r.name) == "default"
                                                           ? std::string(kX264DefaultToday)
                                                           : RowText(r));
    t.emplace_back("libx264-baseline", "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0\n");
    t.emplace_back("libx264-main", "flags2=-dct8x8\n");
    t.emplace_back("libx264-ipod320",
                   "coder=0\nbf=0\nflags2=-wpred-dct8x8\nlevel=13\nmaxrate=768000\nbufsize="
                   "3000000\nwpredp=0\n");
    t.emplace_back("libx264-ipod640",
                   "coder=0\nbf=0\nrefs=1\nflags2=-wpred-dct8x8\nlevel=30\nmaxrate=10000000\n"
                   "bufsize=10000000\nwpredp=0\n");
    std::sort(t.begin(), t.end());
    return t;
  }();
  return table;
}

const std::string *FindBuiltin(const std::string &AName) {
  const std::string low = LowerText(AName);
  for (const auto &[name, text] : BuiltinPresets())
    if (name == low) return &text;
  return nullptr;
}

// True when the named encoder's own options accept the value.
bool EncoderPrivateOptionOk(const std::string &ACodec, const std::string &AName,
                            const std::string &AValue) {
  if (ACodec.empty()) return false;
  const AVCodec *c = ff::codec.avcodec_find_encoder_by_name(ACodec.c_str());
  if (!c || !c->priv_class) return false;
  AVCodecContext *ctx = ff::codec.avcodec_alloc_context3(c);
  if (!ctx) return false;
  const bool ok =
      ctx->priv_data && ff::util.av_opt_set(ctx->priv_data, AName.c_str(), AValue.c_str(), 0) >= 0;
  ff::codec.avcodec_free_context(&ctx);
  return ok;
}

}  // namespace

void TCustomFFmpeg::ApplyTarget(const std::string &AType, const std::string &ANorm,
                                const std::string &ADefaultNorm) {
  TNorm norm = nmPAL;
  if (ANorm == "pal") {
    norm = nmPAL;
  } else if (ANorm == "ntsc") {
    norm = nmNTSC;
  } else if (ANorm == "film") {
    norm = nmFilm;
  } else {
    if (Fframe_rate.den == 0) throw FFmpegException("frame_rate is invalid.");
    bool decided = false;
    auto decide = [&](int64_t fr) {
      if (fr == 25000) {
        norm = nmPAL;
        decided = true;
      } else if (fr == 29970 || fr == 23976) {
        norm = nmNTSC;
        decided = true;
      }
    };
    decide(std::llround(Fframe_rate.num * 1000.0 / Fframe_rate.den));
    for (int i = 0; !decided && i < Fnb_input_files; ++i) {
      AVFormatContext *ic = Finput_files[i].ctx;
      for (unsigned k = 0; !decided && k < ic->nb_streams; ++k) {
        AVStream *st = ic->streams[k];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        // The decoder's time base of older generations is the frame rate's inverse.
        AVRational fr = st->r_frame_rate;
        if (fr.num > 0 && fr.den > 0) decide(std::llround(fr.num * 1000.0 / fr.den));
      }
    }
    if (!decided) norm = ADefaultNorm == "film" ? nmFilm : ADefaultNorm == "ntsc" ? nmNTSC : nmPAL;
    if (Fverbose > 0)
      EngineLogF(llVerbose, "Assuming %s for target.", norm == nmPAL ? "PAL" : "NTSC");
  }
  const bool pal = norm == nmPAL;
  const char *rate = kNormRates[norm];

  if (AType == "vcd") {
    SetOption("vcodec", "mpeg1video");
    SetOption("acodec", "mp2");
    SetOption("f", "vcd");
    SetOption("s", pal ? "352x288" : "352x240");
    SetOption("r", rate);
    SetGeneric("g", pal ? "15" : "18");
    SetGeneric("b", "1150000");
    SetGeneric("maxrate", "1150000");
    SetGeneric("minrate", "1150000");
    SetGeneric("bufsize", "327680");
    SetGeneric("ab", "224000");
    Faudio_sample_rate = 44100;
    Faudio_channels = 2;
    SetGeneric("packetsize", "2324");
    SetGeneric("muxrate", "1411200");
    Fmux_preload = 0.44f;
    if (Fframe_aspect_ratio == 0) {
      EngineLog(llInfo, "Assuming 4:3 for aspect ratio");
      SetOption("aspect", "4:3");
    }
  } else if (AType == "svcd") {
    SetOption("vcodec", "mpeg2video");
    SetOption("acodec", "mp2");
    SetOption("f", "svcd");
    SetOption("s", pal ? "480x576" : "480x480");
    SetOption("r", rate);
    SetGeneric("g", pal ? "15" : "18");
    SetGeneric("b", "2040000");
    SetGeneric("maxrate", "2516000");
    SetGeneric("minrate", "0");
    SetGeneric("bufsize", "1835008");
    SetGeneric("flags", "+scan_offset");
    SetGeneric("ab", "224000");
    Faudio_sample_rate = 44100;
    SetGeneric("packetsize", "2324");
    if (Faudio_channels == 1) Faudio_channels = 2;
    if (Fframe_aspect_ratio == 0) {
      EngineLog(llInfo, "Assuming 4:3 for aspect ratio");
      SetOption("aspect", "4:3");
    }
  } else if (AType == "dvd") {
    SetOption("vcodec", "mpeg2video");
    SetOption("acodec", "ac3");
    SetOption("f", "dvd");
    SetOption("s", pal ? "720x576" : "720x480");
    SetOption("r", rate);
    SetGeneric("g", pal ? "15" : "18");
    SetGeneric("b", "6000000");
    SetGeneric("maxrate", "9000000");
    SetGeneric("minrate", "0");
    SetGeneric("bufsize", "1835008");
    SetGeneric("packetsize", "2048");
    SetGeneric("muxrate", "10080000");
    SetGeneric("ab", "448000");
    Faudio_sample_rate = 48000;
    if (Faudio_channels == 1) Faudio_channels = 2;
    if (Fframe_aspect_ratio == 0) {
      EngineLog(llInfo, "Assuming 16:9 for aspect ratio");
      SetOption("aspect", "16:9");
    }
  } else if (AType == "dv" || AType == "dv50") {
    SetOption("f", "dv");
    SetOption("s", pal ? "720x576" : "720x480");
    SetOption("pix_fmt", AType == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
    SetOption("r", rate);
    Faudio_sample_rate = 48000;
    Faudio_channels = 2;
  } else {
    throw FFmpegException("Unknown target type");
  }
}

void TCustomFFmpeg::ApplyPreset(const std::string &AOptName, const std::string &AValue) {
  if (AOptName.empty() || AValue.empty()) return;
  const std::string *text = nullptr;
  std::string presetName = AValue;
  std::string codecName;  // the encoder whose own options a line may name
  if (AOptName != "fpre") {
    text = FindBuiltin(AValue);
    if (!text) {
      std::string codec;
      if (AOptName == "vpre" && !Fvideo_codec_name.empty())
        codec = Fvideo_codec_name;
      else if (AOptName == "apre" && !Faudio_codec_name.empty())
        codec = Faudio_codec_name;
      else if (!Fsubtitle_codec_name.empty())
        codec = Fsubtitle_codec_name;
      if (!codec.empty()) {
        presetName = codec + "-" + AValue;
        text = FindBuiltin(presetName);
      }
    }
    if (text) {
      const size_t dash = presetName.find('-');
      codecName = LowerText(presetName.substr(0, dash));
    }
  }
  std::string content;
  if (text) {
    content = *text;
  } else {
    presetName = AValue;
    struct stat sb {};
    if (::stat(AValue.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode))
      throw FFmpegException(Format("Preset \"%s\" not found", AValue.c_str()));
    std::ifstream f(AValue, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    content = ss.str();
    codecName = AOptName == "vpre"   ? Fvideo_codec_name
                : AOptName == "apre" ? Faudio_codec_name
                                     : Fsubtitle_codec_name;
  }
  const int type = AOptName == "apre"   ? AVMEDIA_TYPE_AUDIO
                   : AOptName == "spre" ? AVMEDIA_TYPE_SUBTITLE
                                        : AVMEDIA_TYPE_VIDEO;

  std::string normalised;
  for (size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\r') {
      normalised += '\n';
      if (i + 1 < content.size() && content[i + 1] == '\n') ++i;
    } else {
      normalised += content[i];
    }
  }
  std::istringstream lines(Trim(normalised));
  std::string raw;
  while (std::getline(lines, raw)) {
    const std::string line = Trim(raw);
    if (line.empty()) continue;
    const size_t eq = line.find('=');
    const std::string name = eq == std::string::npos ? line : line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (name.empty() || value.empty() || eq == std::string::npos)
      throw FFmpegException(Format("%s: Invalid syntax: \"%s\"", presetName.c_str(), line.c_str()));
    const std::string lname = LowerText(name);
    if (lname == "acodec" || lname == "vcodec" || lname == "scodec") {
      SetOption(lname, value);
      continue;
    }
    if (!OptionsAllocated()) (void)FOptions.Allocate(static_cast<int>(Fsws_flags));
    if (FOptions.Set(name == "b" ? "vb" : name, value)) continue;
    if (EncoderPrivateOptionOk(codecName, name, value)) {
      FPrivateOptions[type].emplace_back(name, value);
      continue;
    }
    throw FFmpegException(
        Format("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"",
               presetName.c_str(), line.c_str(), name.c_str(), value.c_str()));
  }
}
