#include "EngineSupport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "../FFmpegLoader/FFmpegLoader.h"

namespace engine {

namespace {
std::mutex &SinkLock() {
  static std::mutex m;
  return m;
}
TEngineLogSink &Sink() {
  static TEngineLogSink s;
  return s;
}
std::string VFormat(const char *AFormat, va_list AArgs) {
  va_list copy;
  va_copy(copy, AArgs);
  char buf[1024];
  int n = std::vsnprintf(buf, sizeof buf, AFormat, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, n);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(s.data(), s.size(), AFormat, AArgs);
  s.resize(n);
  return s;
}
}  // namespace

TEngineLogSink SetEngineLogSink(TEngineLogSink ASink) {
  std::lock_guard<std::mutex> g(SinkLock());
  std::swap(Sink(), ASink);
  return ASink;
}

void EngineLog(TEngineLogLevel ALevel, const std::string &AMsg) {
  // Delivered under the lock so that a sink being replaced is never called afterwards.
  std::lock_guard<std::mutex> g(SinkLock());
  if (Sink()) Sink()(ALevel, AMsg);
}

void EngineLogF(TEngineLogLevel ALevel, const char *AFormat, ...) {
  va_list ap;
  va_start(ap, AFormat);
  std::string s = VFormat(AFormat, ap);
  va_end(ap);
  EngineLog(ALevel, s);
}

void SetLibraryLogLevel(const std::string &AValue) {
  static const char *const kNames[] = {"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug"};
  std::string v = LowerText(TrimText(AValue));
  int level = 0;
  bool named = false;
  for (int i = 0; i < 8; ++i)
    if (v == kNames[i]) {
      level = i * 8 - 8;
      named = true;
    }
  if (!named) level = std::stoi(v);
  if (ff::util.av_log_set_level) ff::util.av_log_set_level(level);
}

std::string Format(const char *AFormat, ...) {
  va_list ap;
  va_start(ap, AFormat);
  std::string s = VFormat(AFormat, ap);
  va_end(ap);
  return s;
}

std::string ErrorText(const std::string &AName, int ACode) {
  const char *text = nullptr;
  switch (ACode) {
    case -1163346256: text = "Not yet implemented in FFmpeg"; break;
    case -33: text = "Number syntax expected in filename"; break;
    case -2: text = "No such file or directory"; break;
    case -5: text = "I/O error"; break;
    case -12: text = "Not enough memory"; break;
    case -22: text = "Invalid data found when processing input"; break;
    case AVERROR_EOF: text = "End of file"; break;
    default: break;
  }
  if (text) return AName + ": " + text;
  char buf[256] = {};
  if (ff::util.av_strerror && ff::util.av_strerror(ACode, buf, sizeof buf) == 0)
    return AName + ": " + buf;
  return AName + ": " + Format("Error number %d occurred", ACode);
}

std::string MediaTypeName(int AType) {
  switch (AType) {
    case AVMEDIA_TYPE_VIDEO: return "Video";
    case AVMEDIA_TYPE_AUDIO: return "Audio";
    case AVMEDIA_TYPE_DATA: return "Data";
    case AVMEDIA_TYPE_SUBTITLE: return "Subtitle";
    case AVMEDIA_TYPE_ATTACHMENT: return "Attachment";
    default: return "Unknown";
  }
}

std::string TrimText(const std::string &AText) {
  size_t b = 0, e = AText.size();
  while (b < e && static_cast<unsigned char>(AText[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(AText[e - 1]) <= ' ') --e;
  return AText.substr(b, e - b);
}

std::string LowerText(const std::string &AText) {
  std::string s = AText;
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

void TGenericOptions::Alloc(unsigned ASwsFlags) {
  Free();
  for (int t = 0; t < 5; ++t) {
    FCodec[t] = ff::codec.avcodec_alloc_context3(nullptr);
    if (FCodec[t]) FCodec[t]->codec_type = static_cast<AVMediaType>(t);
  }
  FFormat = ff::format.avformat_alloc_context();
  FSws = ff::scale.sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P,
                                  static_cast<int>(ASwsFlags), nullptr, nullptr, nullptr);
}

void TGenericOptions::Free() {
  for (auto &c : FCodec)
    if (c) ff::codec.avcodec_free_context(&c);
  if (FFormat) ff::format.avformat_free_context(FFormat);
  FFormat = nullptr;
  if (FSws) ff::scale.sws_freeContext(FSws);
  FSws = nullptr;
  FNames.clear();
}

bool TGenericOptions::Set(const std::string &AName, const std::string &AValue) {
  const std::string name = TrimText(AName), value = TrimText(AValue);
  if (name.empty() || value.empty() || !Allocated()) return false;
  static const int kMasks[5] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                AV_OPT_FLAG_SUBTITLE_PARAM, 0};
  const AVOption *found = nullptr;
  int ret = 0;
  // "b" is the video bit rate; the audio one is "ab".
  const int types = name == "b" ? 1 : 5;
  for (int t = 0; t < types && ret >= 0; ++t) {
    const AVOption *o = ff::util.av_opt_find(FCodec[0], name.c_str(), nullptr, kMasks[t], 0);
    if (o) {
      found = o;
      ret = ff::util.av_opt_set(FCodec[t], name.c_str(), value.c_str(), 0);
    }
  }
  if (!found) {
    found = ff::util.av_opt_find(FFormat, name.c_str(), nullptr, 0, 0);
    if (found) ret = ff::util.av_opt_set(FFormat, name.c_str(), value.c_str(), 0);
  }
  if (!found && FSws) {
    found = ff::util.av_opt_find(FSws, name.c_str(), nullptr, 0, 0);
    if (found) ret = ff::util.av_opt_set(FSws, name.c_str(), value.c_str(), 0);
  }
  if (!found && name.size() > 1) {
    int t = name[0] == 'a' ? 1 : name[0] == 'v' ? 0 : name[0] == 's' ? 3 : -1;
    if (t >= 0) {
      found = ff::util.av_opt_find(FCodec[t], name.c_str() + 1, nullptr, 0, 0);
      if (found) ret = ff::util.av_opt_set(FCodec[t], name.c_str() + 1, value.c_str(), 0);
    }
  }
  if (!found) return false;
  if (ret < 0) {
    EngineLogF(elError, "Invalid value \"%s\" for option \"%s\"", value.c_str(), name.c_str());
    return false;
  }
  FNames.emplace_back(found->name);
  return true;
}

void TGenericOptions::Apply(void *ATarget, void *ASource, int AFlags) const {
  for (const std::string &n : FNames) {
    const AVOption *o = ff::util.av_opt_find(ASource, n.c_str(), nullptr, 0, 0);
    if (!o || (o->flags & AFlags) != AFlags) continue;
    uint8_t *val = nullptr;
    if (ff::util.av_opt_get(ASource, n.c_str(), 0, &val) >= 0 && val) {
      ff::util.av_opt_set(ATarget, n.c_str(), reinterpret_cast<const char *>(val), 0);
      ff::util.av_free(val);
    }
  }
}

}  // namespace engine
