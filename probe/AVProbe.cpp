#include "AVProbe.h"

#include <cctype>
#include <cstring>
#include <mutex>
#include <vector>

#include "FFUtils/FFUtils.h"
#include "FFmpegLoader/AVPtr.h"
#include "FFmpegLogger/FFmpegLogger.h"
#include "ProbeTexts.h"
#include "UnicodeProtocol/UnicodeProtocol.h"

using probe_text::Format;

namespace {

const char *Tag(const AVDictionary *ATags, const char *AKey) {
  const AVDictionaryEntry *e = ff::util.av_dict_get(ATags, AKey, nullptr, 0);
  return e && e->value ? e->value : nullptr;
}

std::string TagText(const AVDictionary *ATags, const char *AKey) {
  const char *v = Tag(ATags, AKey);
  return v ? v : "";
}

// The leading decimal number of a tag ("7/12" -> 7, "2024-05-01" -> 2024), 0 when none.
int32_t TagNumber(const AVDictionary *ATags, const char *AKey) {
  const char *v = Tag(ATags, AKey);
  if (!v) return 0;
  while (*v == ' ') ++v;
  int64_t n = 0;
  for (; *v >= '0' && *v <= '9' && n < 100000000; ++v) n = n * 10 + (*v - '0');
  return static_cast<int32_t>(n);
}

int64_t ToMicroseconds(int64_t AValue, AVRational ATimeBase) {
  return ff::util.av_rescale_q(AValue, ATimeBase, AVRational{1, AV_TIME_BASE});
}

std::string CodecNameText(const AVCodecParameters *APar) {
  if (const AVCodec *dec = ff::codec.avcodec_find_decoder(APar->codec_id)) {
    const std::string longName = dec->long_name ? Trim(dec->long_name) : "";
    return longName.empty() ? dec->name : Format("%s(%s)", dec->name, longName.c_str());
  }
  if (APar->codec_id == AV_CODEC_ID_MPEG2TS) return "mpeg2ts";
  // Without a decoder the codec's registered name is what the stream can tell.
  if (APar->codec_id != AV_CODEC_ID_NONE) {
    if (const AVCodecDescriptor *d = ff::codec.avcodec_descriptor_get(APar->codec_id)) {
      const std::string name = Trim(std::string(d->name).substr(0, 32));
      if (!name.empty()) return name;
    }
  }
  const uint32_t tag = APar->codec_tag;
  const auto printable = [](uint32_t c) { return c >= 32 && c <= 126; };
  if (printable(tag & 0xff) && printable((tag >> 8) & 0xff) && printable((tag >> 16) & 0xff) &&
      printable(tag >> 24))
    return Format("%c%c%c%c / 0x%04X", static_cast<char>(tag & 0xff),
                  static_cast<char>((tag >> 8) & 0xff), static_cast<char>((tag >> 16) & 0xff),
                  static_cast<char>(tag >> 24), tag);
  return Format("0x%04x", tag);
}

// Language, codec name and the raw and scaled start time and duration: what the audio and
// video records share.
template <class TInfo>
void FillTimedInfo(TInfo &AInfo, AVStream *ASt) {
  AInfo.Language = TagText(ASt->metadata, "language");
  AInfo.CodecName = CodecNameText(ASt->codecpar);
  // A zero denominator is mended in the container itself, as every later reader needs it.
  if (ASt->time_base.den == 0) ASt->time_base.den = ASt->time_base.num ? ASt->time_base.num : 1;
  AInfo.StartTime = ASt->start_time;
  AInfo.Duration = ASt->duration;
  if (ASt->start_time != AV_NOPTS_VALUE)
    AInfo.StartTimeScaled = ToMicroseconds(ASt->start_time, ASt->time_base);
  if (ASt->duration != AV_NOPTS_VALUE)
    AInfo.DurationScaled = ToMicroseconds(ASt->duration, ASt->time_base);
}

}  // namespace

TCustomAVProbe::~TCustomAVProbe() {
  // A container owned while the libraries were unloaded under us is forgotten rather
  // than closed through entry points that are gone.
  if (FOwnHandle && !FFLoader().Loaded(avFormat)) FFileHandle = nullptr;
  CloseFile();
}

bool TCustomAVProbe::AVLibLoaded() const {
  return FFLoader().Loaded(kProbeLibraries);
}

bool TCustomAVProbe::LoadAVLib(const std::string &APath) {
  FFLoader().SetLibraryPath(APath);
  if (FFLoader().Load(kProbeLibraries)) return true;
  FLastErrMsg = FFLoader().LastErrMsg();
  return false;
}

void TCustomAVProbe::UnloadAVLib() {
  FFLoader().Unload(kProbeLibraries);
}

void TCustomAVProbe::CheckLibraries() const {
  if (!FFLoader().Loaded(avCodec)) throw EAVProbeError("LibAVCodec not loaded.");
  if (!FFLoader().Loaded(avFormat)) throw EAVProbeError("LibAVFormat not loaded.");
  if (!FFLoader().Loaded(avUtil)) throw EAVProbeError("LibAVUtil not loaded.");
  if (!FFLoader().Loaded(swScale)) throw EAVProbeError("LibSwScale not loaded.");
}

void TCustomAVProbe::Error(const std::string &AMsg) {
  FLastErrMsg = AMsg;
  GlobalLogger().Log(this, llError, AMsg);
}

bool TCustomAVProbe::NeedFile() {
  if (FFileHandle) return true;
  FLastErrMsg = "file not loaded.";
  GlobalLogger().Log(this, llWarning, FLastErrMsg);
  return false;
}

bool TCustomAVProbe::LoadFile(const std::string &AFileName, const std::string &AFormatName) {
  CheckLibraries();
  CloseFile();

  const AVInputFormat *fmt = nullptr;
  if (!AFormatName.empty()) {
    fmt = ff::format.av_find_input_format(AFormatName.c_str());
    if (!fmt) {
      FLastErrMsg = "Unknown input format: " + AFormatName;
      return false;
    }
  }

  AVFormatContext *ic = ff::format.avformat_alloc_context();
  if (!ic) {
    Error(ErrorToStr(AFileName, AVERROR(ENOMEM)));
    return false;
  }
  ic->flags |= AVFMT_FLAG_NONBLOCK;
  // On failure the context is freed and the pointer cleared.
  const int err = OpenMediaInput(&ic, ToLibraryFileName(AFileName), fmt, nullptr);
  if (err < 0) {
    Error(ErrorToStr(AFileName, err));
    CloseFile();
    return false;
  }
  FFileHandle = ic;
  FOwnHandle = true;

  int found = 0;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    found = ff::format.avformat_find_stream_info(ic, nullptr);
  }
  if (found < 0) {
    FLastErrMsg = AFileName + ": could not find codec parameters";
    CloseFile();
    return false;
  }
  UpdateInfo();
  FForceFormat = AFormatName;
  return true;
}

void TCustomAVProbe::CloseFile() {
  if (FFileHandle && FOwnHandle) CloseMediaInput(&FFileHandle);
  FFileHandle = nullptr;
  FOwnHandle = false;
  FForceFormat.clear();
  UpdateInfo();
}

void TCustomAVProbe::SetFileHandle(AVFormatContext *AValue) {
  CheckLibraries();
  CloseFile();
  FFileHandle = AValue;
  FOwnHandle = false;
  UpdateInfo();
}

void TCustomAVProbe::UpdateInfo() {
  FFileSize = -1;
  FStreamCount = FProgramCount = -1;
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
  FFirstAudioStreamIndex = FFirstVideoStreamIndex = FFirstSubtitleStreamIndex = -1;
  if (!FFileHandle) return;

  const int64_t containerSize = FFileHandle->pb ? ff::format.avio_size(FFileHandle->pb) : 0;
  if (containerSize > 0) {
    FFileSize = containerSize;
  } else {
    const int64_t onDisk = GetFileSize(FileName());
    FFileSize = onDisk >= 0 ? onDisk : containerSize;
  }
  FStreamCount = static_cast<int>(FFileHandle->nb_streams);
  FProgramCount = static_cast<int>(FFileHandle->nb_programs);
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
  for (int i = 0; i < FStreamCount; ++i) {
    switch (FFileHandle->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        if (FAudioStreamCount++ == 0) FFirstAudioStreamIndex = i;
        break;
      case AVMEDIA_TYPE_VIDEO:
        if (FVideoStreamCount++ == 0) FFirstVideoStreamIndex = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (FSubtitleStreamCount++ == 0) FFirstSubtitleStreamIndex = i;
        break;
      default:
        break;
    }
  }
}

bool TCustomAVProbe::StreamIndexValid(int AStreamIndex) {
  if (!NeedFile()) return false;
  if (AStreamIndex < 0 || AStreamIndex >= FStreamCount) {
    Error(Format("stream index #%d is invalid.", AStreamIndex));
    return false;
  }
  return true;
}

bool TCustomAVProbe::IsAudioStream(int AStreamIndex) {
  return StreamIndexValid(AStreamIndex) &&
         FFileHandle->streams[AStreamIndex]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

bool TCustomAVProbe::IsVideoStream(int AStreamIndex) {
  return StreamIndexValid(AStreamIndex) &&
         FFileHandle->streams[AStreamIndex]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

bool TCustomAVProbe::IsSubtitleStream(int AStreamIndex) {
  return StreamIndexValid(AStreamIndex) &&
         FFileHandle->streams[AStreamIndex]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE;
}

std::string TCustomAVProbe::FileName() {
  if (!NeedFile()) return "";
  return FromLibraryFileName(FFileHandle->url ? FFileHandle->url : "");
}

std::string TCustomAVProbe::FormatName() {
  if (!NeedFile()) return "";
  return FFileHandle->iformat && FFileHandle->iformat->name ? FFileHandle->iformat->name : "";
}

std::string TCustomAVProbe::FormatLongName() {
  if (!NeedFile()) return "";
  return FFileHandle->iformat && FFileHandle->iformat->long_name ? FFileHandle->iformat->long_name
                                                                 : "";
}

TFileStreamInfo TCustomAVProbe::FileStreamInfo() {
  TFileStreamInfo r;
  if (!NeedFile()) return r;
  const AVFormatContext *ic = FFileHandle;
  r.StartTime = ic->start_time == AV_NOPTS_VALUE ? -1 : ic->start_time;
  r.Duration = ic->duration == AV_NOPTS_VALUE ? -1 : ic->duration;
  r.BitRate = static_cast<int32_t>(ic->bit_rate);
  // This library generation keeps time stamp, year and track only as tags.
  r.TimeStamp = 0;
  if (const char *created = Tag(ic->metadata, "creation_time")) {
    int64_t us = 0;
    if (ff::util.av_parse_time(&us, created, 0) == 0 && us > 0) r.TimeStamp = us / 1000000;
  }
  r.Year = TagNumber(ic->metadata, "year");
  if (r.Year == 0) r.Year = TagNumber(ic->metadata, "date");
  r.Track = TagNumber(ic->metadata, "track");
  r.Title = TagText(ic->metadata, "title");
  r.Author = TagText(ic->metadata, "author");
  if (r.Author.empty()) r.Author = TagText(ic->metadata, "artist");
  r.Copyright = TagText(ic->metadata, "copyright");
  r.Comment = TagText(ic->metadata, "comment");
  r.Album = TagText(ic->metadata, "album");
  r.Genre = TagText(ic->metadata, "genre");
  return r;
}

int TCustomAVProbe::StreamOfKind(int AStreamIndex, AVMediaType AKind) {
  if (!NeedFile()) return -1;
  const char *kind = AKind == AVMEDIA_TYPE_AUDIO   ? "audio"
                     : AKind == AVMEDIA_TYPE_VIDEO ? "video"
                                                   : "subtitle";
  if (AStreamIndex < 0) {
    const int first = AKind == AVMEDIA_TYPE_AUDIO   ? FFirstAudioStreamIndex
                      : AKind == AVMEDIA_TYPE_VIDEO ? FFirstVideoStreamIndex
                                                    : FFirstSubtitleStreamIndex;
    if (first < 0) Error(Format("no %s stream.", kind));
    return first;
  }
  if (AStreamIndex >= FStreamCount) {
    Error(Format("stream index #%d is invalid.", AStreamIndex));
    return -1;
  }
  if (FFileHandle->streams[AStreamIndex]->codecpar->codec_type != AKind) {
    Error(Format("stream #%d is not %s stream.", AStreamIndex, kind));
    return -1;
  }
  return AStreamIndex;
}

TAudioStreamInfo TCustomAVProbe::AudioStreamInfo(int AStreamIndex) {
  TAudioStreamInfo r;
  const int i = StreamOfKind(AStreamIndex, AVMEDIA_TYPE_AUDIO);
  if (i < 0) return r;
  AVStream *st = FFileHandle->streams[i];
  const AVCodecParameters *par = st->codecpar;
  FillTimedInfo(r, st);
  r.BitRate = static_cast<int32_t>(par->bit_rate);
  r.Channels = par->ch_layout.nb_channels;
  r.SampleRate = par->sample_rate;
  r.SampleFormat = par->format;
  return r;
}

TVideoStreamInfo TCustomAVProbe::VideoStreamInfo(int AStreamIndex) {
  TVideoStreamInfo r;
  const int i = StreamOfKind(AStreamIndex, AVMEDIA_TYPE_VIDEO);
  if (i < 0) return r;
  AVStream *st = FFileHandle->streams[i];
  const AVCodecParameters *par = st->codecpar;
  FillTimedInfo(r, st);
  r.BitRate = static_cast<int32_t>(par->bit_rate);
  r.Height = par->height;
  r.Width = par->width;
  const AVRational sar = par->sample_aspect_ratio;
  r.AspectRatio =
      (sar.num == 0 || sar.den == 0 || par->height == 0)
          ? 0.0f
          : static_cast<float>(par->width * (static_cast<double>(sar.num) / sar.den) / par->height);
  r.PixFmt = par->format;
  r.FrameRate = st->r_frame_rate;
  return r;
}

TSubtitleStreamInfo TCustomAVProbe::SubtitleStreamInfo(int AStreamIndex) {
  TSubtitleStreamInfo r;
  const int i = StreamOfKind(AStreamIndex, AVMEDIA_TYPE_SUBTITLE);
  if (i < 0) return r;
  const AVStream *st = FFileHandle->streams[i];
  r.Language = TagText(st->metadata, "language");
  r.CodecName = CodecNameText(st->codecpar);
  return r;
}

void TCustomAVProbe::TagBlock(std::string &AText, const AVDictionary *ATags, const char *APrefix) {
  const int count = ATags ? ff::util.av_dict_count(ATags) : 0;
  if (count == 0) return;
  const AVDictionaryEntry *first = ff::util.av_dict_get(ATags, "", nullptr, AV_DICT_IGNORE_SUFFIX);
  if (count == 1 && std::strcmp(first->key, "language") == 0) return;
  AText += Format("%sMetadata:\n", APrefix);
  const AVDictionaryEntry *e = nullptr;
  while ((e = ff::util.av_dict_get(ATags, "", e, AV_DICT_IGNORE_SUFFIX))) {
    if (std::strcmp(e->key, "language") == 0) continue;
    AText += Format("%s  %-16s: %s\n", APrefix, probe_text::DisplayKey(e->key).c_str(),
                    e->value ? e->value : "");
  }
}

std::string TCustomAVProbe::StreamLine(int AIndex) {
  AVFormatContext *ic = FFileHandle;
  const AVStream *st = ic->streams[AIndex];
  const AVCodecParameters *par = st->codecpar;
  std::string line = Format("Stream #%d", AIndex);
  if (ic->iformat && (ic->iformat->flags & AVFMT_SHOW_IDS)) line += Format("[0x%x]", st->id);
  if (const char *lang = Tag(st->metadata, "language")) line += Format("(%s)", lang);
  int g = ff::util.av_gcd(st->time_base.num, st->time_base.den);
  if (g == 0) g = 1;
  line += Format(", %d/%d", st->time_base.num / g, st->time_base.den / g);

  // The one-line description needs a codec context: one is built from the parameters, as
  // this library generation keeps no context in the stream. Its time base is not carried
  // over, so the codec time base ("tbc") is never known and never shown.
  ff::CodecContextPtr ctx(ff::codec.avcodec_alloc_context3(nullptr));
  char desc[256] = {0};
  if (ctx && ff::codec.avcodec_parameters_to_context(ctx.get(), par) >= 0)
    ff::codec.avcodec_string(desc, sizeof desc, ctx.get(), 0);
  line += ": ";
  line += desc;

  const AVRational ssar = st->sample_aspect_ratio, csar = par->sample_aspect_ratio;
  if (ssar.num != 0 &&
      static_cast<int64_t>(ssar.num) * csar.den != static_cast<int64_t>(csar.num) * ssar.den) {
    int darNum = 0, darDen = 0;
    ff::util.av_reduce(&darNum, &darDen, static_cast<int64_t>(par->width) * ssar.num,
                       static_cast<int64_t>(par->height) * ssar.den, 1024 * 1024);
    line = Format("%s, PAR %d:%d DAR %d:%d", line.c_str(), ssar.num, ssar.den, darNum, darDen);
  }

  if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
    const auto rate = [&line](AVRational q, const char *unit) {
      if (q.num != 0 && q.den != 0) line += probe_text::RateNumber(av_q2d(q), unit);
    };
    rate(st->avg_frame_rate, "fps");
    rate(st->r_frame_rate, "tbr");
    rate(av_inv_q(st->time_base), "tbn");
    if (ctx) rate(av_inv_q(ctx->time_base), "tbc");
  }
  if (st->start_time != AV_NOPTS_VALUE)
    line +=
        ", StartTime: " + probe_text::SecondsText(ToMicroseconds(st->start_time, st->time_base));
  if (st->duration == AV_NOPTS_VALUE)
    line += ", Duration: N/A";
  else
    line += ", Duration: " + TimeToStr(ToMicroseconds(st->duration, st->time_base));
  return line + "\n";
}

std::string TCustomAVProbe::FileInfoText() {
  if (!NeedFile()) return "";
  AVFormatContext *ic = FFileHandle;
  std::string t;
  t += "File Name: " + FileName() + "\n";
  t += "Format Name: " + FormatName() + "\n";
  t += "Format Long Name: " + FormatLongName() + "\n";
  t += "File Size: " + SizeToStr(FFileSize) + "\n";
  if (ic->duration == AV_NOPTS_VALUE || ic->duration < 0)
    t += "Duration: N/A\n";
  else
    t += "Duration: " + TimeToStr(ic->duration) + "\n";
  if (ic->start_time != AV_NOPTS_VALUE && ic->start_time >= 0)
    t += "StartTime: " + probe_text::SecondsText(ic->start_time) + "\n";
  if (ic->bit_rate < 1)
    t += "Bit Rate: N/A\n";
  else
    t += Format("Bit Rate: %lld kb/s\n", static_cast<long long>(ic->bit_rate / 1000));
  const int64_t stamp = FileStreamInfo().TimeStamp;
  if (stamp > 0)
    t += "Time Stamp: " + FormatDateTime("yyyy-mm-dd hh:nn:ss", UnixToLocalDateTime(stamp)) + "\n";
  TagBlock(t, ic->metadata, "");

  std::vector<bool> listed(ic->nb_streams, false);
  for (unsigned p = 0; p < ic->nb_programs; ++p) {
    const AVProgram *prog = ic->programs[p];
    const char *provider = Tag(prog->metadata, "provider_name");
    const char *name = Tag(prog->metadata, "name");
    t += Format("Program %d %s@%s\n", prog->id, provider ? provider : "N/A", name ? name : "N/A");
    TagBlock(t, prog->metadata, "  ");
    for (unsigned k = 0; k < prog->nb_stream_indexes; ++k) {
      const unsigned s = prog->stream_index[k];
      if (s >= ic->nb_streams) continue;
      t += StreamLine(static_cast<int>(s));
      TagBlock(t, ic->streams[s]->metadata, "  ");
      listed[s] = true;
    }
  }
  for (unsigned s = 0; s < ic->nb_streams; ++s) {
    if (listed[s]) continue;
    t += StreamLine(static_cast<int>(s));
    TagBlock(t, ic->streams[s]->metadata, "  ");
  }
  return t;
}
