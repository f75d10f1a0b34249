#include "FFOptions.h"

#include "FFUtils/FFUtils.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegLogger/FFmpegLogger.h"

namespace {

const AVMediaType kMediaTypes[5] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_DATA,
                                    AVMEDIA_TYPE_SUBTITLE, AVMEDIA_TYPE_ATTACHMENT};
// Flags an option of the video context must have to belong to each media type.
const int kTypeMasks[5] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                           AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Sets AName on AObj when AObj knows it. Returns the option found (or nullptr) and the
// library's result in AResult.
const AVOption *TrySet(void *AObj, const char *AName, const char *AValue, int &AResult) {
  if (AObj == nullptr) return nullptr;
  const AVOption *o = ff::util.av_opt_find(AObj, AName, nullptr, 0, 0);
  if (o == nullptr) return nullptr;
  AResult = ff::util.av_opt_set(AObj, AName, AValue, 0);
  return o;
}

}  // namespace

TFFOptions::~TFFOptions() {
  Free();
}

void TFFOptions::Reset() {
  opt_names.clear();
  opt_name_count = 0;
  for (auto &c : avcodec_opts) c = nullptr;
  avformat_opts = nullptr;
  sws_opts = nullptr;
}

bool TFFOptions::Allocate(int ASwsFlags) {
  Free();
  for (int i = 0; i < 5; ++i) {
    avcodec_opts[i] = ff::codec.avcodec_alloc_context3(nullptr);
    if (avcodec_opts[i] == nullptr) return false;
    avcodec_opts[i]->codec_type = kMediaTypes[i];
  }
  avformat_opts = ff::format.avformat_alloc_context();
  // Only carries scaler options: the smallest useful conversion.
  sws_opts =
      ff::scale.sws_getContext(16, 16, static_cast<AVPixelFormat>(0), 16, 16,
                               static_cast<AVPixelFormat>(0), ASwsFlags, nullptr, nullptr, nullptr);
  return avformat_opts != nullptr && sws_opts != nullptr;
}

void TFFOptions::Free() {
  for (auto &c : avcodec_opts) {
    if (c != nullptr) ff::codec.avcodec_free_context(&c);
    c = nullptr;
  }
  if (avformat_opts != nullptr) ff::format.avformat_free_context(avformat_opts);
  avformat_opts = nullptr;
  if (sws_opts != nullptr) ff::scale.sws_freeContext(sws_opts);
  sws_opts = nullptr;
  opt_names.clear();
  opt_name_count = 0;
}

bool TFFOptions::Set(const std::string &AName, const std::string &AValue) {
  const std::string name = Trim(AName);
  const std::string value = Trim(AValue);
  if (name.empty() || value.empty()) return false;

  const AVOption *found = nullptr;
  int ret = 0;
  for (int t = 0; t < 5 && ret >= 0 && avcodec_opts[0] != nullptr; ++t) {
    const AVOption *o =
        ff::util.av_opt_find(avcodec_opts[0], name.c_str(), nullptr, kTypeMasks[t], 0);
    if (o != nullptr && avcodec_opts[t] != nullptr) {
      found = o;
      ret = ff::util.av_opt_set(avcodec_opts[t], name.c_str(), value.c_str(), 0);
    }
  }
  if (found == nullptr) found = TrySet(avformat_opts, name.c_str(), value.c_str(), ret);
  if (found == nullptr) found = TrySet(sws_opts, name.c_str(), value.c_str(), ret);
  if (found == nullptr && name.size() > 1) {
    const char *rest = name.c_str() + 1;
    if (name[0] == 'a')
      found = TrySet(avcodec_opts[1], rest, value.c_str(), ret);
    else if (name[0] == 'v')
      found = TrySet(avcodec_opts[0], rest, value.c_str(), ret);
    else if (name[0] == 's')
      found = TrySet(avcodec_opts[3], rest, value.c_str(), ret);
  }
  if (found != nullptr && ret < 0) {
    ff::util.av_log(nullptr, AV_LOG_ERROR, "Invalid value \"%s\" for option \"%s\"\n",
                    value.c_str(), name.c_str());
    return false;
  }
  if (found == nullptr) return false;

  opt_names.emplace_back(found->name);
  opt_name_count = static_cast<int>(opt_names.size());
  const bool debugging = (avcodec_opts[0] != nullptr && avcodec_opts[0]->debug != 0) ||
                         (avformat_opts != nullptr && avformat_opts->debug != 0);
  if (debugging) GlobalLogger().SetLogLevel(llDebug);
  return true;
}

void TFFOptions::Apply(void *ATarget, void *ASource, int AFlags) const {
  if (ATarget == nullptr || ASource == nullptr) return;
  for (const std::string &name : opt_names) {
    const AVOption *o = ff::util.av_opt_find(ASource, name.c_str(), nullptr, AFlags, 0);
    if (o == nullptr) continue;
    uint8_t *text = nullptr;
    if (ff::util.av_opt_get(ASource, name.c_str(), 0, &text) < 0 || text == nullptr) continue;
    std::string value(reinterpret_cast<const char *>(text));
    ff::util.av_free(text);
    if (value.size() > 255) value.resize(255);
    ff::util.av_opt_set(ATarget, name.c_str(), value.c_str(), 0);
  }
}
