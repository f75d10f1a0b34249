#include <gtest/gtest.h>

#include <set>

#include "OptionLists.h"
#include "PresetCatalogue.h"
#include "PresetRows.h"

TEST(Catalogue, HasFourteenCategoriesInBarOrderAndIdsFollowTheFormula) {
  const auto &cats = PresetCategories();
  ASSERT_EQ(cats.size(), 14u);
  const std::vector<std::pair<int, size_t>> numberAndCount = {
      {27, 16}, {19, 12}, {4, 15}, {6, 14}, {12, 11}, {5, 5},  {3, 14},
      {7, 5},   {26, 4},  {15, 7}, {10, 5}, {0, 15},  {1, 13}, {2, 10}};
  for (size_t i = 0; i < cats.size(); ++i) {
    EXPECT_EQ(cats[i].Number, numberAndCount[i].first) << cats[i].BarText;
    EXPECT_EQ(cats[i].Names.size(), numberAndCount[i].second) << cats[i].BarText;
  }
  EXPECT_EQ(cats.front().BarText, "智能手机视频");
  EXPECT_EQ(cats.front().SummaryText, "智能手机--类别中共计：");
  EXPECT_EQ(cats.back().BarText, "高清视频");

  EXPECT_EQ(PresetCount(), 146);
  const std::vector<int> ids = AllPresetIds();
  EXPECT_EQ(std::set<int>(ids.begin(), ids.end()).size(), 146u);
  for (int id : ids) {
    const auto ref = FindPreset(id);
    ASSERT_TRUE(ref) << id;
    EXPECT_EQ(id, 100 + 100 * ref->Category->Number + ref->Position);
  }
  EXPECT_FALSE(FindPreset(99));
  EXPECT_FALSE(FindPreset(2816));
  EXPECT_FALSE(FindPreset(115));
}

// Names are shown as written: doubled blanks, a blank before "(*" and repeated names.
TEST(Catalogue, KeepsNamesExactly) {
  const std::vector<std::pair<int, std::string>> cases = {
      {2000, "Android手机AVI视频(*.avi)"},
      {2815, "手机MP3格式音频(*.mp3)"},
      {700, "3GPP -  第三代合作项目-3GP视频+AMR音频(*.3gp)"},
      {710, "各种手机常用的MP4视频(*.mp4)"},
      {713, "各种手机常用的MP4视频(*.mp4)"},
      {1302, "iPad MPEG-4视频格式 XviD编码 (*.mp4)"},
      {2703, "高清MPEG-4  H.264编码视频格式(*.mp4)"},
      {300, "高清AVI视频格式(*.avi)(DivX视频编码)"},
      {512, "iPhone 高清DivX视频(*.avi)"},
  };
  for (const auto &[id, name] : cases) {
    const auto ref = FindPreset(id);
    ASSERT_TRUE(ref) << id;
    EXPECT_EQ(ref->Name(), name) << id;
  }
}

TEST(Catalogue, EveryPresetHasARowWhoseExtensionMatchesItsName) {
  std::set<int> rowIds;
  for (const TPresetRow &row : PresetRows()) rowIds.insert(row.Id);
  const std::vector<int> ids = AllPresetIds();
  EXPECT_EQ(rowIds, std::set<int>(ids.begin(), ids.end()));

  for (int id : ids) {
    const TPresetRow *row = FindPresetRow(id);
    ASSERT_NE(row, nullptr) << id;
    const std::string nameExt = ExtensionInPresetName(FindPreset(id)->Name());
    EXPECT_EQ(nameExt, row->Ext) << id;
    // Two rows hand the engine a different container extension than the file gets.
    if (id == 206) {
      EXPECT_STREQ(row->FileExt, ".rm");
    } else if (id == 306) {
      EXPECT_STREQ(row->FileExt, ".asf");
    } else if (row->FileExt) {
      EXPECT_STREQ(row->FileExt, row->Ext) << id;
    }
  }
  // Rows that leave Video_FileExt alone.
  for (int id : {111, 112, 113, 114}) EXPECT_EQ(FindPresetRow(id)->FileExt, nullptr) << id;
}

TEST(Catalogue, PreselectedItemsExistAndAudioOnlyRowsOfferNoVideo) {
  const std::set<int> audioOnly = {200, 201, 202, 203, 204, 205, 206, 207,
                                   208, 209, 210, 211, 212, 708, 2815};
  for (const TPresetRow &row : PresetRows()) {
    for (const TSelectorChoice *c :
         {&row.Resolution, &row.VideoBitrate, &row.FrameRate, &row.Aspect, &row.AudioBitrate,
          &row.SampleRate, &row.Channels}) {
      const auto &items = Items(c->List);
      ASSERT_FALSE(items.empty()) << ItemListName(c->List);
      if (c->Preselected) {
        EXPECT_NE(std::find(items.begin(), items.end(), c->Preselected), items.end())
            << row.Id << " " << ItemListName(c->List) << " " << c->Preselected;
      }
    }
    EXPECT_EQ(row.AudioOnly, audioOnly.count(row.Id) == 1) << row.Id;
    if (row.AudioOnly) {
      EXPECT_EQ(Items(row.Resolution.List), std::vector<std::string>{"该格式无视频"}) << row.Id;
      EXPECT_EQ(Items(row.VideoBitrate.List), std::vector<std::string>{"无视频"}) << row.Id;
      EXPECT_EQ(Items(row.FrameRate.List), std::vector<std::string>{"无视频"}) << row.Id;
      EXPECT_EQ(Items(row.Aspect.List), std::vector<std::string>{"无视频"}) << row.Id;
      EXPECT_EQ(row.VideoCodec, nullptr) << row.Id;
      EXPECT_EQ(row.VideoTag, nullptr) << row.Id;
    }
  }
}

// Sizes and boundary items of the lists, including R16's doubled "1920*1200".
TEST(Catalogue, ItemListsHaveTheirSizesAndEnds) {
  struct Case {
    TItemList list;
    size_t size;
    const char *first;
    const char *last;
  };
  const Case cases[] = {
      {TItemList::R1, 27, "保持原分辨率", "2560*1600"},
      {TItemList::R2, 11, "112*96", "320*240"},
      {TItemList::R3, 1, "该格式无视频", "该格式无视频"},
      {TItemList::R16, 28, "保持原分辨率", "2560*1600"},
      {TItemList::R17, 27, "保持原分辨率", "2560*1600"},
      {TItemList::VB4, 15, "8 kbps", "384 kbps"},
      {TItemList::VB15, 17, "8 kbps", "600 kbps"},
      {TItemList::VB20, 9, "128 kbps", "2500 kbps"},
      {TItemList::FR1, 12, "保持原帧速率", "30.00"},
      {TItemList::FR7, 8, "1", "25"},
      {TItemList::AR1, 5, "保持原视频模式", "宽屏视频47:20模式"},
      {TItemList::AB3, 8, "4.75 kbps", "12.2 kbps"},
      {TItemList::AB1, 17, "16 kbps", "320 kbps"},
      {TItemList::SR2, 1, "8000", "8000"},
      {TItemList::SR4, 7, "8000", "48000"},
      {TItemList::CH1, 2, "立体声", "单声道"},
      {TItemList::CH2, 1, "单声道", "单声道"},
  };
  for (const Case &c : cases) {
    const auto &items = Items(c.list);
    ASSERT_EQ(items.size(), c.size) << ItemListName(c.list);
    EXPECT_EQ(items.front(), c.first) << ItemListName(c.list);
    EXPECT_EQ(items.back(), c.last) << ItemListName(c.list);
  }
  const auto &r16 = Items(TItemList::R16);
  EXPECT_EQ(std::count(r16.begin(), r16.end(), "1920*1200"), 2);
}
