// The parameter file of the image pass: device, extension, resolution, anti-aliasing, colours.
#include "gui/render/image_parameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/dictionary.h"
#include "render_world_support.h"

namespace nimbra {
namespace {

class ImageParametersTest : public ::testing::Test {
 protected:
  std::vector<std::string> Write(std::string base = "/t/s_page_%08d") {
    const std::string file = world_.Path("device.gs");
    base_ = std::move(base);
    extension_ = WriteImageParameters(file, base_, settings_, "/t/s_device.out", "/t/s_printer.pdf");
    std::vector<std::string> lines;
    std::istringstream in(test_support::ReadFileBytes(file));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // The lines between the device and the font path (the variable part).
  std::vector<std::string> Options() {
    auto lines = Write();
    auto device = std::find_if(lines.begin(), lines.end(),
                               [](const std::string& l) { return l.rfind("-sDEVICE#", 0) == 0; });
    auto fonts = std::find_if(lines.begin(), lines.end(),
                              [](const std::string& l) { return l.rfind("\"-sFONTPATH#", 0) == 0; });
    EXPECT_TRUE(device != lines.end() && fonts != lines.end());
    return std::vector<std::string>(device + 1, fonts);
  }

  test::RenderWorld world_;
  Dictionary settings_;
  std::string base_;
  std::string extension_;
};

TEST(ImageExtensionTest, DeviceTable) {
  for (const char* device : {"pngmono", "pnggray", "png16", "png256", "png16m", "pngalpha", "PNG16M"}) {
    EXPECT_EQ(ImageExtension(device), "png") << device;
  }
  for (const char* device : {"tiffgray", "tiff12nc", "tiff24nc", "tiff32nc", "tiffsep", "tiffcrle",
                             "tiffg3", "tiffg32d", "tiffg4", "tifflzw", "tiffpack"}) {
    EXPECT_EQ(ImageExtension(device), "tif") << device;
  }
  EXPECT_EQ(ImageExtension("jpeg"), "jpg");
  EXPECT_EQ(ImageExtension("bmp16m"), "");
  EXPECT_EQ(ImageExtension(""), "");
}

TEST(ImageOutputEnabledTest, DeviceSetAfterTrimming) {
  Dictionary settings;
  EXPECT_FALSE(ImageOutputEnabled(settings));
  settings.Set("device", "   ");
  EXPECT_FALSE(ImageOutputEnabled(settings));
  settings.Set("device", " jpeg");
  EXPECT_TRUE(ImageOutputEnabled(settings));
}

TEST_F(ImageParametersTest, WholeFileForAPngDevice) {
  settings_.Set("device", "PNG16M");
  settings_.Set("backgroundcolor", "FFFFFF");
  settings_.Set("resx", "300");
  const auto lines = Write();
  EXPECT_EQ(extension_, "png");
  EXPECT_EQ(base_, "/t/s_page_%08d.png");
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 11),
            (std::vector<std::string>{"-q", "-dSAFER", "-dNOPAUSE", "-dBATCH",
                                      "\"-sstdout#/t/s_device.out\"", "-sDEVICE#png16m",
                                      "-r300x300", "-dTextAlphaBits#4", "-dGraphicsAlphaBits#4",
                                      "-dBackgroundColor#16#FFFFFF", lines[10]}));
  EXPECT_EQ(lines[10].rfind("\"-sFONTPATH#", 0), 0u);
  EXPECT_EQ(lines[11], "\"-sOutputFile#/t/s_page_%08d.png\"");
  EXPECT_EQ(lines[12], "\"/t/s_printer.pdf\"");
}

TEST_F(ImageParametersTest, Resolution) {
  struct Case {
    const char* res;
    const char* resx;
    const char* resy;
    std::vector<std::string> expected;
  };
  settings_.Set("device", "jpeg");
  for (const Case& c : {
           Case{"", "300", "", {"-r300x300"}},
           Case{"150", "300", "", {"-r300x150"}},
           Case{"150", "", "", {"-r150"}},
           Case{"", "", "", {}},
           Case{"", "", "200", {"-r200x200"}},
           Case{"72", "", "200", {"-r72x200"}},
           Case{"", "abc", "x", {}},
       }) {
    settings_.Set("res", c.res);
    settings_.Set("resx", c.resx);
    settings_.Set("resy", c.resy);
    auto options = Options();
    std::erase_if(options, [](const std::string& l) { return l.rfind("-r", 0) != 0; });
    EXPECT_EQ(options, c.expected) << c.res << "/" << c.resx << "/" << c.resy;
  }
}

TEST_F(ImageParametersTest, AntiAliasing) {
  settings_.Set("device", "png16m");
  settings_.Set("textalphabits", "0");
  settings_.Set("graphicsalphabits", "2");
  EXPECT_EQ(Options(), (std::vector<std::string>{"-dGraphicsAlphaBits#2"}));
  settings_.Set("textalphabits", "  ");
  settings_.Set("graphicsalphabits", "abc");
  EXPECT_EQ(Options(), (std::vector<std::string>{"-dTextAlphaBits#4"}));
}

TEST_F(ImageParametersTest, BackgroundColourOnlyForPngDevices) {
  settings_.Set("backgroundcolor", " 00FF00 ");
  settings_.Set("textalphabits", "0");
  settings_.Set("graphicsalphabits", "0");
  settings_.Set("device", "pngalpha");
  EXPECT_EQ(Options(), (std::vector<std::string>{"-dBackgroundColor#16#00FF00"}));
  settings_.Set("device", "jpeg");
  EXPECT_TRUE(Options().empty());
  settings_.Set("device", "png16m");
  settings_.Set("backgroundcolor", "");
  EXPECT_TRUE(Options().empty());
}

TEST_F(ImageParametersTest, DeviceIsTrimmed) {
  settings_.Set("device", " Jpeg ");
  const auto lines = Write("/t/s_page");
  EXPECT_EQ(lines[5], "-sDEVICE#jpeg");
  EXPECT_EQ(extension_, "jpg");
}

TEST_F(ImageParametersTest, UnknownDeviceGivesAPatternEndingWithTheDot) {
  settings_.Set("device", "bmp16m");
  Write("/t/s_page");
  EXPECT_EQ(extension_, "");
  EXPECT_EQ(base_, "/t/s_page.");
}

TEST_F(ImageParametersTest, EncryptedJobOpensItsPdfWithTheOwnerPassword) {
  settings_.Set("device", "jpeg");
  settings_.Set("textalphabits", "0");
  settings_.Set("graphicsalphabits", "0");
  settings_.Set("ownerpassword", "own");
  EXPECT_EQ(Options(), (std::vector<std::string>{"-sPDFPassword#own"}));
}

}  // namespace
}  // namespace nimbra
