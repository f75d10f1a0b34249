// Every preset of the catalogue, confirmed with its preselected options through the real
// dialogs, added with a small generated clip and converted by the batch: the output must
// read back (with ffprobe) with the preset's container, codecs, frame size, frame rate,
// sample rate and channels, or the row must end with a message naming an encoder that
// the loaded libraries lack. One test per category of the chooser.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

#include "FFmpeg/EngineSupport.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FormatChooser.h"
#include "JobListView.h"
#include "MainWindow.h"
#include "MediaFixtures.h"
#include "OptionsDialog.h"
#include "PresetCatalogue.h"
#include "PresetRows.h"
#include "PresetsLink.h"
#include "ScriptedPlatform.h"
#include "TempDir.h"
#include "WindowWithDialogs.h"

namespace fs = std::filesystem;

namespace {

// key=value lines of ffprobe's flat output, quotes removed.
std::map<std::string, std::string> Probe(const std::string &AFile) {
  std::map<std::string, std::string> values;
  const std::string cmd =
      "ffprobe -v error -show_entries "
      "format=format_name:stream=codec_type,codec_name,width,height,r_frame_rate,sample_rate,"
      "channels -of flat '" +
      AFile + "' 2>/dev/null";
  FILE *pipe = ::popen(cmd.c_str(), "r");
  if (!pipe) return values;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string s = line;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    const std::size_t eq = s.find('=');
    if (eq == std::string::npos) continue;
    std::string v = s.substr(eq + 1);
    if (v.size() >= 2 && v.front() == '"') v = v.substr(1, v.size() - 2);
    values[s.substr(0, eq)] = v;
  }
  ::pclose(pipe);
  return values;
}

// The codec an encoder writes ("libx264" -> "h264"), after the engine's substitution of
// encoders it replaces; the name itself when unknown.
std::string CodecOfEncoder(const std::string &AEncoder) {
  const std::string encoder = engine::SubstituteEncoder(AEncoder);
  const AVCodec *c = ff::codec.avcodec_find_encoder_by_name(encoder.c_str());
  return c ? ff::codec.avcodec_get_name(c->id) : encoder;
}

// The family the reading side names a container by.
std::string ContainerFamily(const std::string &AMuxer) {
  static const std::map<std::string, std::string> families = {
      {"mp4", "mp4"},           {"ipod", "mp4"},      {"psp", "mp4"},   {"3gp", "3gp"},
      {"3g2", "3g2"},           {"mov", "mov"},       {"vob", "mpeg"},  {"dvd", "mpeg"},
      {"svcd", "mpeg"},         {"vcd", "mpeg"},      {"mpeg", "mpeg"}, {"mpeg1system", "mpeg"},
      {"matroska", "matroska"}, {"asf", "asf"},       {"adts", "aac"},  {"mp2", "mp3"},
      {"asf_stream", "asf"},    {"mpegts", "mpegts"},
  };
  auto it = families.find(AMuxer);
  return it == families.end() ? AMuxer : it->second;
}

class AllPresetsTest : public ::testing::TestWithParam<int>, protected TWindowWithDialogs {
 protected:
  void SetUp() override {
    OpenWindow({dir / "out"});
    form1->FileOutPutPath = dir / "out";
    form1->Edit1->setText(QString::fromStdString(form1->FileOutPutPath));
    form1->cbCompletionAction->setCurrentIndex(0);
  }
  void TearDown() override { CloseWindow(); }

  void AnswerChooser(int ABar, int APosition) {
    WhenModal(form7.get(), [this, ABar, APosition] {
      form7->CategoryBar->setCurrentRow(ABar);
      emit form7->CategoryBar->itemClicked(form7->CategoryBar->item(ABar));
      form7->suiListView4->setCurrentRow(APosition);
      WhenModal(form8.get(), [this] { form8->suiButton1->click(); });
      form7->suiButton1->click();
    });
  }

  template <class TPred>
  static bool WaitFor(TPred APred, int AMs) {
    QElapsedTimer t;
    t.start();
    while (!APred()) {
      if (t.elapsed() > AMs) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }

  // "" when the text names an encoder that the libraries really lack.
  static std::string MissingEncoder(const std::string &AText) {
    std::smatch m;
    static const std::regex unknown("Unknown encoder '([^']+)'");
    if (!std::regex_search(AText, m, unknown)) return "";
    return ff::codec.avcodec_find_encoder_by_name(m[1].str().c_str()) ? "" : m[1].str();
  }

  // Converts one preset; returns the outcome for the table, fails the test when the
  // output does not match.
  std::string Convert(int ABar, int APosition, int APresetId, const std::string &AVideoClip,
                      const std::string &AAudioClip) {
    const TPresetRow *row = FindPresetRow(APresetId);
    if (!row) return "no option row";
    form1->btnClearClick();
    form1->mmoLog->clear();
    platform.Messages.clear();
    platform.FileAnswers.push_back(row->AudioOnly ? AAudioClip : AVideoClip);
    AnswerChooser(ABar, APosition);
    form1->Button6Click();
    const std::string log = form1->mmoLog->toPlainText().toStdString();
    if (form1->AdvListView1->rowCount() != 1) {
      const std::string warning = platform.Messages.empty() ? "" : platform.Messages.back().Text;
      const std::string missing = MissingEncoder(warning);
      EXPECT_FALSE(missing.empty()) << APresetId << " not added: " << log;
      return "missing encoder " + missing + " (refused at add)";
    }
    const TOutputOptions expected = form1->Slots.OO1[0];
    form1->btnStartClick();
    EXPECT_TRUE(WaitFor([&] { return !form1->FFmpegQueue1.Working(); }, 120000)) << APresetId;
    for (const auto &m : platform.Messages) {
      const std::string missing = MissingEncoder(m.Text);
      if (!missing.empty()) return "missing encoder " + missing;
      ADD_FAILURE() << APresetId << " failed: " << m.Text << "\n"
                    << form1->mmoLog->toPlainText().toStdString();
      return "FAILED: " + m.Text;
    }
    const std::string file = expected.FileName;
    std::map<std::string, std::string> p = Probe(file);
    std::string vIndex, aIndex;
    for (int i = 0; i < 4; ++i) {
      const std::string k = "streams.stream." + std::to_string(i) + ".";
      if (p[k + "codec_type"] == "video" && vIndex.empty()) vIndex = k;
      if (p[k + "codec_type"] == "audio" && aIndex.empty()) aIndex = k;
    }
    std::string muxer = expected.FileFormat;
    if (muxer.empty()) {
      const AVOutputFormat *of = ff::format.av_guess_format(nullptr, file.c_str(), nullptr);
      muxer = of ? of->name : "";
    }
    const std::string family = ContainerFamily(muxer);
    EXPECT_NE(p["format.format_name"].find(family), std::string::npos)
        << APresetId << " " << p["format.format_name"] << " vs " << muxer;
    if (!row->AudioOnly && !expected.DisableVideo) {
      EXPECT_FALSE(vIndex.empty()) << APresetId << " has no video";
      if (!expected.VideoCodec.empty()) {
        EXPECT_EQ(p[vIndex + "codec_name"], CodecOfEncoder(expected.VideoCodec)) << APresetId;
      }
      if (const std::size_t star = expected.FrameSize.find('*'); star != std::string::npos) {
        EXPECT_EQ(p[vIndex + "width"], expected.FrameSize.substr(0, star)) << APresetId;
        EXPECT_EQ(p[vIndex + "height"], expected.FrameSize.substr(star + 1)) << APresetId;
      }
      if (!expected.FrameRate.empty()) {
        int num = 0, den = 1;
        std::sscanf(p[vIndex + "r_frame_rate"].c_str(), "%d/%d", &num, &den);
        EXPECT_NEAR(den ? static_cast<double>(num) / den : 0, std::atof(expected.FrameRate.c_str()),
                    0.02)
            << APresetId;
      }
    } else {
      EXPECT_TRUE(vIndex.empty()) << APresetId << " has video";
    }
    EXPECT_FALSE(aIndex.empty()) << APresetId << " has no audio";
    if (!expected.AudioCodec.empty()) {
      EXPECT_EQ(p[aIndex + "codec_name"], CodecOfEncoder(expected.AudioCodec)) << APresetId;
    }
    if (expected.AudioSampleRate > 0) {
      EXPECT_EQ(p[aIndex + "sample_rate"], std::to_string(expected.AudioSampleRate)) << APresetId;
    }
    if (expected.AudioChannels > 0) {
      EXPECT_EQ(p[aIndex + "channels"], std::to_string(expected.AudioChannels)) << APresetId;
    }
    return "converted " + family + " " + p[vIndex + "codec_name"] + "/" + p[aIndex + "codec_name"];
  }
};

TEST_P(AllPresetsTest, EveryPresetConvertsOrNamesTheMissingEncoder) {
  const int bar = GetParam();
  const TPresetCategory &category = PresetCategories()[static_cast<std::size_t>(bar)];
  qvtest::TClipParams video;
  video.DurationSec = 1;
  video.Width = 176;
  video.Height = 144;
  const std::string videoClip = qvtest::MakeClip(video);
  qvtest::TClipParams audio;
  audio.DurationSec = 1;
  audio.VideoCodec = "";
  const std::string audioClip = qvtest::MakeClip(audio);
  for (int pos = 0; pos < static_cast<int>(category.Names.size()); ++pos) {
    const int id = PresetId(category.Number, pos);
    const std::string outcome = Convert(bar, pos, id, videoClip, audioClip);
    std::printf("preset %d %s: %s\n", id, category.Names[static_cast<std::size_t>(pos)].c_str(),
                outcome.c_str());
  }
}

INSTANTIATE_TEST_SUITE_P(Categories, AllPresetsTest, ::testing::Range(0, 14));

}  // namespace
