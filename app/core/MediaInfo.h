// What the media information dialog shows: the values gathered from the probe, the
// pieces cut out of its information text, and the label texts made of them. No widgets,
// so the rules are tested directly.
#pragma once

#include <optional>
#include <string>

class TCustomAVProbe;

// The main window's fields behind the dialog (texts as the labels take them).
struct TMediaInfoFields {
  std::string T_FileName;
  std::string T_FormatName;
  std::string T_FormatLongName;
  std::string T_FileInfoText;
  std::string T_FileInfo_V;  // description of the first video stream
  std::string T_FileInfo_A;  // description of the first audio stream
  std::string T_FileSize;
  std::string T_FileTime;
  std::string T_FileBit;
  std::string T_Audio_SampleRate;
  std::string T_Audio_Channels;
  std::string T_Audio_BitRate;  // kbit/s
  std::string T_Video_BitRate;  // kbit/s
  std::string T_Video_Width;
  std::string T_Video_Height;
  std::string T_Video_FrameRate_num;  // "0.00"
};

// Cuts T_FileInfo_V, T_FileInfo_A, T_FileSize, T_FileTime and T_FileBit out of an
// information text. The rules count on lines ending in "\r\n"; a text with bare line
// feeds is read as if every "\n" were "\r\n". Size, duration (without its milliseconds)
// and bit rate end where their line ends.
void CutInfoPieces(const std::string &AText, TMediaInfoFields &AFields);

// Loads AFileName into the probe (its result is not looked at) and fills every field
// from what the probe then reports; a missing stream gives the probe's -1 values.
[[nodiscard]] TMediaInfoFields GatherMediaInfo(TCustomAVProbe &AProbe,
                                               const std::string &AFileName);

// "%.2f" of the frame rate; a zero denominator has no rate and shows "0.00".
[[nodiscard]] std::string FrameRateText(int ANum, int ADen);

// The value labels of the dialog, in its order.
struct TMediaInfoLabels {
  std::string FileName;  // file-name part followed by 22 blanks
  std::string FormatName;
  std::string FileTime;
  std::string FileSize;
  std::string FileBit;
  std::string FormatLongName;
  std::string Extension;  // with its dot
  std::string Resolution;
  std::string FrameRate;
  std::string VideoBitRate;
  std::string VideoStream;  // "无" when the video piece is the text's start
  std::string SampleRate;
  std::optional<std::string> Channels;  // none: the label keeps what it shows
  std::string AudioBitRate;
  std::string AudioStream;
};

[[nodiscard]] TMediaInfoLabels MediaInfoLabels(const TMediaInfoFields &AFields);
