#include <gtest/gtest.h>

#include "FFmpegLoader/FFmpegLoader.h"

TEST(Loader, SystemSearchBindsEveryEntryPointOfTheQueueSet) {
  TFFmpegLoader &loader = FFLoader();
  loader.SetLibraryPath("");
  ASSERT_TRUE(loader.Load(kQueueLibraries)) << loader.LastErrMsg();
  EXPECT_TRUE(loader.Loaded(kProbeLibraries));
  EXPECT_NE(ff::util.av_version_info, nullptr);
  EXPECT_EQ(AV_VERSION_MAJOR(ff::codec.avcodec_version()), LIBAVCODEC_VERSION_MAJOR);
}

TEST(Loader, FileNamesFollowTheHeadersOfThisBuild) {
  EXPECT_EQ(TFFmpegLoader::LibraryFileName(avCodec),
            "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
  EXPECT_EQ(TFFmpegLoader::LibraryFileName(lbSDL), "libSDL2-2.0.so.0");
}
