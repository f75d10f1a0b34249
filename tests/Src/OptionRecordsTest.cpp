#include <gtest/gtest.h>

#include "FFmpegQueue/OptionRecords.h"

// A reset record must carry nothing that would reach the engine.
TEST(OptionRecords, ResetOutputRecordLeavesEngineUntouched) {
  TOutputOptions o;
  o.AudioVolume = 256;
  o.AudioChannels = 2;
  o.AudioSampleRate = 44100;
  o.AudioBitrate = 128000;
  o.VideoBitrate = 768000;
  o.TimeStart = 5;
  o.TimeLength = 7;
  o.TargetType = ttDVD;
  o.NormType = ntNTSC;
  o.NormDefault = ntNTSC;
  o.Info.TimeStamp = 1.0;
  o.Info.Title = "x";
  o.FileName = "a.mp4";
  o.Data = &o;
  InitOutputOptions(o);
  EXPECT_EQ(o.AudioVolume, -1);
  EXPECT_EQ(o.AudioChannels, -1);
  EXPECT_EQ(o.AudioSampleRate, -1);
  EXPECT_EQ(o.AudioBitrate, -1);
  EXPECT_EQ(o.VideoBitrate, -1);
  EXPECT_EQ(o.VideoSyncMethod, -1);
  EXPECT_EQ(o.AudioSyncMethod, 0);
  EXPECT_EQ(o.TimeStart, NOPTS);
  EXPECT_EQ(o.TimeLength, NOPTS);
  EXPECT_EQ(o.TargetType, ttIgnore);
  EXPECT_EQ(o.NormType, ntAuto);
  EXPECT_EQ(o.NormDefault, ntPAL);
  EXPECT_DOUBLE_EQ(o.Info.TimeStamp, -1.0);
  EXPECT_EQ(o.Info.Year, -1);
  EXPECT_TRUE(o.Info.Title.empty());
  EXPECT_TRUE(o.FileName.empty());
  EXPECT_FLOAT_EQ(o.MuxDelay, -1.0f);
  EXPECT_EQ(o.Data, nullptr);
}

TEST(OptionRecords, ResetInputRecord) {
  TInputOptions i;
  i.ProgramID = 3;
  i.TimeStart = 0;
  i.FileFormat = "mpeg";
  InitInputOptions(i);
  EXPECT_EQ(i.ProgramID, -1);
  EXPECT_EQ(i.TimeStart, NOPTS);
  EXPECT_TRUE(i.FileFormat.empty());
  EXPECT_EQ(static_cast<uint64_t>(NOPTS), 0x8000000000000000ULL);
}
