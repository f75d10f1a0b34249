#include <gtest/gtest.h>

#include <sstream>

#include "AVProbe.h"
#include "CliCommands.h"
#include "MediaFixtures.h"

namespace {

struct TResult {
  int Code;
  std::string Out, Err;
};

TResult RunCli(const std::vector<std::string> &AArgs) {
  std::ostringstream out, err;
  const int code = cli::Run(AArgs, out, err);
  return {code, out.str(), err.str()};
}

TEST(CliInfo, PrintsTheInformationTextAndSucceeds) {
  const std::string path = qvtest::Fixture(qvtest::TFixture::Mp4);
  const TResult r = RunCli({"info", path});
  EXPECT_EQ(r.Code, cli::kExitOk) << r.Err;
  TAVProbe probe;
  ASSERT_TRUE(probe.LoadFile(path));
  EXPECT_EQ(r.Out, probe.FileInfoText());
  EXPECT_EQ(r.Out.rfind("File Name: " + path + "\n", 0), 0u);
}

TEST(CliInfo, PrintsTheProbesErrorAndFails) {
  const std::string missing = qvtest::FixtureDir() + "/missing.mp4";
  TResult r = RunCli({"info", missing});
  EXPECT_EQ(r.Code, cli::kExitFailed);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, missing + ": No such file or directory\n");
  const std::string empty = qvtest::Fixture(qvtest::TFixture::ZeroLength);
  r = RunCli({"info", empty});
  EXPECT_EQ(r.Code, cli::kExitFailed);
  EXPECT_EQ(r.Err, empty + ": Invalid data found when processing input\n");
}

TEST(CliInfo, BadCommandLinesAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"info"}, {"info", "a", "b"}, {"info", ""}, {"nonsense"}, {"--help"}};
  for (const auto &args : cases) {
    const TResult r = RunCli(args);
    EXPECT_EQ(r.Code, cli::kExitUsage) << testing::PrintToString(args);
    EXPECT_NE(r.Err.find("usage: quorvel-cli"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
  }
}

}  // namespace
