// Finding Ghostscript: the configured folder first, then PATH; the version from the program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "gui/render/ghostscript.h"
#include "gui/render/ghostscript_version_cache.h"
#include "render_world_support.h"

namespace nimbra {
namespace {

struct VersionCase {
  const char* text;
  int major;
  int minor;
};

TEST(ParseGhostscriptVersionTest, Table) {
  for (const VersionCase& c : {
           VersionCase{"10.00.0\n", 10, 0}, VersionCase{"8.15", 8, 15},
           VersionCase{"9.56.1\nmore\n", 9, 56}, VersionCase{"  8.50  \n", 8, 50},
           VersionCase{"8.64", 8, 64}, VersionCase{"GPL Ghostscript", 0, 0},
           VersionCase{"", 0, 0}, VersionCase{"8", 0, 0}, VersionCase{"a.b", 0, 0},
           VersionCase{"8.x", 0, 0}, VersionCase{"-1.5", 0, 0}, VersionCase{"\n10.0", 0, 0},
       }) {
    const GhostscriptVersion v = ParseGhostscriptVersion(c.text);
    EXPECT_EQ(v.major, c.major) << "'" << c.text << "'";
    EXPECT_EQ(v.minor, c.minor) << "'" << c.text << "'";
  }
}

TEST(GhostscriptVersionSupportedTest, Minimum850) {
  EXPECT_TRUE(GhostscriptVersionSupported(8, 50));
  EXPECT_TRUE(GhostscriptVersionSupported(8, 71));
  EXPECT_TRUE(GhostscriptVersionSupported(10, 0));
  EXPECT_FALSE(GhostscriptVersionSupported(8, 49));
  EXPECT_FALSE(GhostscriptVersionSupported(8, 15));
  EXPECT_FALSE(GhostscriptVersionSupported(7, 99));
  EXPECT_FALSE(GhostscriptVersionSupported(0, 0));
}

TEST(ReadGhostscriptVersionTest, RealGhostscriptAndThingsThatAreNot) {
  test::RenderWorld world;
  const auto real = FindGhostscript();
  ASSERT_FALSE(real.path.empty()) << "Ghostscript is installed on every build machine";
  const GhostscriptVersion v = ReadGhostscriptVersion(real.path);
  EXPECT_TRUE(GhostscriptVersionSupported(v.major, v.minor)) << v.major << "." << v.minor;
  EXPECT_EQ(v.major, real.major);

  const GhostscriptVersion missing = ReadGhostscriptVersion(world.Path("nothing/gs"));
  EXPECT_EQ(missing.major, 0);
  test_support::WriteFileBytes(world.Path("not-a-program"), "10.00.0\n");  // not executable
  EXPECT_EQ(ReadGhostscriptVersion(world.Path("not-a-program")).major, 0);
  const std::string silent = world.MakeFakeGhostscript("silent", "exit 0");
  EXPECT_EQ(ReadGhostscriptVersion(silent + "/gs").major, 0);
}

TEST(ReadGhostscriptVersionTest, AsksTheProgramOnceUntilItChanges) {
  test::RenderWorld world;
  const std::string folder = world.MakeFakeGhostscript("counting", "echo x >> \"$0.calls\"; echo 9.10");
  const std::string gs = folder + "/gs";
  EXPECT_EQ(ReadGhostscriptVersion(gs).minor, 10);
  EXPECT_EQ(ReadGhostscriptVersion(gs).minor, 10);
  EXPECT_EQ(test_support::ReadFileBytes(gs + ".calls"), "x\n");
  // The next run of gui (a new process) finds it in the temporary folder.
  ForgetGhostscriptVersionForTesting();
  EXPECT_EQ(ReadGhostscriptVersion(gs).minor, 10);
  EXPECT_EQ(test_support::ReadFileBytes(gs + ".calls"), "x\n");
  // Another Ghostscript installed in its place is asked again.
  world.MakeFakeGhostscript("counting", "echo x >> \"$0.calls\"; echo 10.05.1");
  EXPECT_EQ(ReadGhostscriptVersion(gs).major, 10);
  EXPECT_EQ(test_support::ReadFileBytes(gs + ".calls"), "x\nx\n");
  ForgetGhostscriptVersionForTesting();
  EXPECT_EQ(ReadGhostscriptVersion(gs).major, 10);
  EXPECT_EQ(test_support::ReadFileBytes(gs + ".calls"), "x\nx\n");
}

TEST(ReadGhostscriptVersionTest, UnknownOrDamagedAnswersAreAskedAgain) {
  test::RenderWorld world;
  const std::string gs =
      world.MakeFakeGhostscript("mute", "echo x >> \"$0.calls\"; echo unknown") + "/gs";
  EXPECT_EQ(ReadGhostscriptVersion(gs).major, 0);
  ForgetGhostscriptVersionForTesting();
  EXPECT_EQ(ReadGhostscriptVersion(gs).major, 0);
  EXPECT_EQ(test_support::ReadFileBytes(gs + ".calls"), "x\nx\n");

  const std::string known =
      world.MakeFakeGhostscript("known", "echo x >> \"$0.calls\"; echo 9.52") + "/gs";
  EXPECT_EQ(ReadGhostscriptVersion(known).minor, 52);
  // A cache file that does not read back as written is not believed.
  std::string cacheFile;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(world.Path("tmp"))) {
    if (entry.path().filename() == kGhostscriptVersionCacheName) cacheFile = entry.path().string();
  }
  ASSERT_FALSE(cacheFile.empty());
  std::string text = test_support::ReadFileBytes(cacheFile);
  text.replace(text.rfind("9.52"), 4, "9.5x");
  test_support::WriteFileBytes(cacheFile, text);
  ForgetGhostscriptVersionForTesting();
  EXPECT_EQ(ReadGhostscriptVersion(known).minor, 52);
  EXPECT_EQ(test_support::ReadFileBytes(known + ".calls"), "x\nx\n");
}

TEST(FindGhostscriptTest, ConfiguredFolderWinsOverPath) {
  test::RenderWorld world;
  const std::string folder = world.MakeFakeGhostscript("configured gs", "echo 9.05");
  world.SetGhostscriptFolder(folder + "///");
  const GhostscriptInstallation gs = FindGhostscript();
  EXPECT_EQ(gs.path, folder + "/gs");
  EXPECT_EQ(gs.major, 9);
  EXPECT_EQ(gs.minor, 5);
}

TEST(FindGhostscriptTest, ConfiguredFolderWithoutGsFallsBackToPath) {
  test::RenderWorld world;
  std::filesystem::create_directories(world.Path("empty"));
  world.SetGhostscriptFolder(world.Path("empty"));
  const std::string onPath = world.MakeFakeGhostscript("bin", "echo 8.71");
  world.SetEnv("PATH", world.Path("nowhere") + "::relative:" + onPath + ":/usr/bin");
  const GhostscriptInstallation gs = FindGhostscript();
  EXPECT_EQ(gs.path, onPath + "/gs");
  EXPECT_EQ(gs.major, 8);
  EXPECT_EQ(gs.minor, 71);
}

TEST(FindGhostscriptTest, PathSkipsFilesThatCannotRun) {
  test::RenderWorld world;
  std::filesystem::create_directories(world.Path("first"));
  test_support::WriteFileBytes(world.Path("first/gs"), "not runnable");
  std::filesystem::create_directories(world.Path("second/gs"));  // a folder named gs
  const std::string third = world.MakeFakeGhostscript("third", "echo 10.02.1");
  world.SetEnv("PATH", world.Path("first") + ":" + world.Path("second") + ":" + third);
  EXPECT_EQ(FindGhostscript().path, third + "/gs");
}

TEST(FindGhostscriptTest, NothingFound) {
  test::RenderWorld world;
  world.SetEnv("PATH", world.Path("nowhere"));
  const GhostscriptInstallation gs = FindGhostscript();
  EXPECT_EQ(gs.path, "");
  EXPECT_EQ(gs.major, 0);
  EXPECT_EQ(gs.minor, 0);
}

}  // namespace
}  // namespace nimbra
