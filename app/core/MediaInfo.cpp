#include "MediaInfo.h"

#include <cstdio>

#include "AVProbe.h"

namespace {

constexpr char kStartTime[] = ", StartTime:";

// 1-based position of the first occurrence, 0 when absent.
size_t Pos(const std::string &ASub, const std::string &AText) {
  const size_t at = AText.find(ASub);
  return at == std::string::npos ? 0 : at + 1;
}

// Characters AFrom to ATo, both 1-based and included; positions outside the text are
// pulled back into it and a range that ends before it starts is empty.
std::string Range(const std::string &AText, long long AFrom, long long ATo) {
  if (AFrom < 1) AFrom = 1;
  if (ATo > static_cast<long long>(AText.size())) ATo = static_cast<long long>(AText.size());
  if (ATo < AFrom) return "";
  return AText.substr(static_cast<size_t>(AFrom - 1), static_cast<size_t>(ATo - AFrom + 1));
}

std::string WithCrLf(const std::string &AText) {
  std::string out;
  out.reserve(AText.size() + AText.size() / 16);
  for (size_t i = 0; i < AText.size(); ++i) {
    if (AText[i] == '\n' && (i == 0 || AText[i - 1] != '\r')) out += '\r';
    out += AText[i];
  }
  return out;
}

// The piece describing the first stream whose line holds AMarker ("Video:", "Audio:").
std::string StreamPiece(const std::string &AText, const char *AMarker) {
  const size_t v = Pos(AMarker, AText);
  const size_t s = Pos(kStartTime, AText);
  if (v > s) {
    // The first start time belongs to an earlier stream: look for this stream's own.
    const std::string part =
        Range(AText, static_cast<long long>(v), static_cast<long long>(AText.size()) - 1);
    const size_t own = Pos(kStartTime, part);
    return own ? part.substr(0, own - 1) : "";
  }
  if (v == 0) return Range(AText, 1, static_cast<long long>(s));
  return Range(AText, static_cast<long long>(v), static_cast<long long>(s) - 1);
}

// What follows AMarker up to the end of its line.
std::string RestOfLine(const std::string &AText, const char *AMarker) {
  const size_t at = AText.find(AMarker);
  if (at == std::string::npos) return "";
  const size_t from = at + std::char_traits<char>::length(AMarker);
  const size_t end = AText.find("\r\n", from);
  return AText.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

void CutInfoPieces(const std::string &AText, TMediaInfoFields &AFields) {
  const std::string text = WithCrLf(AText);
  AFields.T_FileInfo_V = StreamPiece(text, "Video:");
  AFields.T_FileInfo_A = StreamPiece(text, "Audio:");
  AFields.T_FileSize = RestOfLine(text, "File Size:");
  // " 00:01:23.456" is shown as " 00:01:23".
  std::string time = RestOfLine(text, "Duration:");
  const size_t n = time.size();
  if (n >= 4 && time[n - 4] == '.' && IsDigit(time[n - 3]) && IsDigit(time[n - 2]) &&
      IsDigit(time[n - 1]))
    time.resize(n - 4);
  AFields.T_FileTime = time;
  AFields.T_FileBit = RestOfLine(text, "Bit Rate:");
}

std::string FrameRateText(int ANum, int ADen) {
  if (ADen == 0) return "0.00";
  char buf[64] = {0};
  std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(ANum) / ADen);
  return buf;
}

TMediaInfoFields GatherMediaInfo(TCustomAVProbe &AProbe, const std::string &AFileName) {
  // A file the probe cannot read still opens the dialog, with the probe's empty values.
  (void)AProbe.LoadFile(AFileName, "");
  TMediaInfoFields f;
  f.T_FileName = AProbe.FileName();
  f.T_FormatName = AProbe.FormatName();
  f.T_FileInfoText = AProbe.FileInfoText();
  f.T_FormatLongName = AProbe.FormatLongName();
  CutInfoPieces(f.T_FileInfoText, f);

  const TAudioStreamInfo audio = AProbe.AudioStreamInfo(AProbe.FirstAudioStreamIndex());
  f.T_Audio_SampleRate = std::to_string(audio.SampleRate);
  f.T_Audio_Channels = std::to_string(audio.Channels);
  f.T_Audio_BitRate = std::to_string(audio.BitRate / 1000);

  const TVideoStreamInfo video = AProbe.VideoStreamInfo(AProbe.FirstVideoStreamIndex());
  f.T_Video_BitRate = std::to_string(video.BitRate / 1000);
  f.T_Video_Height = std::to_string(video.Height);
  f.T_Video_Width = std::to_string(video.Width);
  f.T_Video_FrameRate_num = FrameRateText(video.FrameRate.num, video.FrameRate.den);
  return f;
}

TMediaInfoLabels MediaInfoLabels(const TMediaInfoFields &AFields) {
  TMediaInfoLabels l;
  const size_t slash = AFields.T_FileName.find_last_of('/');
  const std::string name =
      slash == std::string::npos ? AFields.T_FileName : AFields.T_FileName.substr(slash + 1);
  l.FileName = name + std::string(22, ' ');
  l.FormatName = AFields.T_FormatName;
  l.FileTime = AFields.T_FileTime;
  l.FileSize = AFields.T_FileSize;
  l.FileBit = AFields.T_FileBit;
  l.FormatLongName = AFields.T_FormatLongName;
  const size_t dot = name.find_last_of('.');
  l.Extension = dot == std::string::npos ? "" : name.substr(dot);

  l.Resolution = AFields.T_Video_Width + "*" + AFields.T_Video_Height;
  l.FrameRate = AFields.T_Video_FrameRate_num;
  l.VideoBitRate = AFields.T_Video_BitRate + "  kbps";
  l.VideoStream =
      AFields.T_FileInfo_V.compare(0, 9, "File Name") == 0 ? "无" : AFields.T_FileInfo_V;

  l.SampleRate = AFields.T_Audio_SampleRate;
  if (AFields.T_Audio_Channels == "1")
    l.Channels = "单声道";
  else if (AFields.T_Audio_Channels == "2")
    l.Channels = "立体声  ";
  l.AudioBitRate = AFields.T_Audio_BitRate + "  kbps";
  l.AudioStream = AFields.T_FileInfo_A;
  return l;
}
