// The fixed item lists of the options dialog's selectors. Item texts are exactly what
// the user sees; the confirmation turns them into profile values.
#pragma once

#include <string>
#include <vector>

enum class TItemList : unsigned char {
  // resolution
  R1,
  R2,
  R3,
  R4,
  R5,
  R6,
  R7,
  R8,
  R9,
  R10,
  R11,
  R12,
  R13,
  R14,
  R15,
  R16,
  R17,
  // video bitrate
  VB1,
  VB2,
  VB3,
  VB4,
  VB5,
  VB6,
  VB7,
  VB8,
  VB9,
  VB10,
  VB11,
  VB12,
  VB13,
  VB14,
  VB15,
  VB16,
  VB17,
  VB18,
  VB19,
  VB20,
  // frame rate
  FR1,
  FR2,
  FR3,
  FR4,
  FR5,
  FR6,
  FR7,
  FR8,
  // aspect
  AR1,
  AR2,
  AR3,
  // audio bitrate
  AB1,
  AB2,
  AB3,
  AB4,
  AB5,
  AB6,
  // sample rate
  SR1,
  SR2,
  SR3,
  SR4,
  SR5,
  SR6,
  // channels
  CH1,
  CH2,
  Count
};

[[nodiscard]] const std::vector<std::string> &Items(TItemList list);
// "R1", "VB9" …: for messages and test output.
[[nodiscard]] const char *ItemListName(TItemList list);

// Item texts with a meaning of their own.
inline constexpr const char *kKeepResolution = "保持原分辨率";
inline constexpr const char *kKeepFrameRate = "保持原帧速率";
inline constexpr const char *kKeepAspect = "保持原视频模式";
inline constexpr const char *kNoVideoResolution = "该格式无视频";
inline constexpr const char *kNoVideo = "无视频";
inline constexpr const char *kStereo = "立体声";
inline constexpr const char *kMono = "单声道";
