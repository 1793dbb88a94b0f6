// The vocabulary of the settings: the default dictionary and the flag readers every part uses.
#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbra {
namespace {

TEST(DefaultSettingsTest, HasTheKeysInOrderWithTheirDefaults) {
  const DictionaryPtr defaults = DefaultSettings();
  const std::vector<std::string> expectedKeys = {
      "afterprintprogram", "afterprintprogramdir", "disableoptiondialog", "author",
      "creationdate", "creator", "keylength", "keywords", "mergefile", "mergeposition",
      "moddate", "output", "ownerpassword", "permissions", "settingsprogram", "showpdf",
      "subject", "superimpose", "target", "title", "userpassword", "watermarkrotation",
      "watermarktext", "suppresserrors", "watermarkcolor", "watermarkfontname",
      "watermarkfontsize", "watermarkoutlinewidth", "watermarklayer",
      "watermarkverticalposition", "watermarkhorizontalposition",
      "watermarkverticaladjustment", "watermarkhorizontaladjustment", "rememberlastfilename",
      "rememberlastfoldername", "zoom", "showprogress", "showprogressfinished", "runonsuccess",
      "runonsuccessdir", "runonerror", "runonerrordir", "device", "res", "resx", "resy",
      "textalphabits", "graphicsalphabits", "statusfile", "hidetabs", "hidecontrols",
      "disablecontrols", "pdfa", "confirmoverwrite", "usedefaultauthor", "usedefaulttitle"};
  EXPECT_EQ(defaults->Keys(), expectedKeys);

  const std::vector<std::pair<std::string, std::string>> nonEmpty = {
      {"keylength", "128"},          {"mergeposition", "bottom"},
      {"output", "<desktop>/<title>.pdf"}, {"showpdf", "ask"},
      {"watermarkrotation", "c2c"},  {"suppresserrors", "no"},
      {"watermarkcolor", "#D9D9D9"}, {"watermarkfontname", "arial.ttf"},
      {"watermarkfontsize", "45"},   {"watermarkoutlinewidth", "2"},
      {"watermarklayer", "top"},     {"watermarkverticalposition", "center"},
      {"watermarkhorizontalposition", "center"}, {"rememberlastfilename", "no"},
      {"rememberlastfoldername", "yes"}, {"zoom", "fitall"},
      {"res", "150"},                {"textalphabits", "4"},
      {"graphicsalphabits", "4"},    {"pdfa", "no"},
      {"confirmoverwrite", "yes"},   {"usedefaultauthor", "no"},
      {"usedefaulttitle", "no"}};
  std::size_t nonEmptyCount = 0;
  for (const auto& entry : *defaults) {
    if (!entry.value.Text().empty()) ++nonEmptyCount;
  }
  EXPECT_EQ(nonEmptyCount, nonEmpty.size());
  for (const auto& [key, value] : nonEmpty) {
    EXPECT_EQ(defaults->Item(key), value) << key;
    EXPECT_EQ(DefaultSetting(key), value) << key;
  }
  // Keys read elsewhere but without a default are not in the dictionary.
  for (const char* key : {"showsaveas", "showsettings", "openfolder", "debug", "usethumbs",
                          "backgroundcolor", "ghostscripttimeout", "watermarktransparency",
                          "watermarksize", "lastfilename"}) {
    EXPECT_FALSE(defaults->Exists(key)) << key;
    EXPECT_EQ(DefaultSetting(key), "") << key;
  }
}

TEST(DefaultSettingsTest, EachCallGivesAnIndependentDictionary) {
  DictionaryPtr first = DefaultSettings();
  first->Set("output", "changed");
  EXPECT_EQ(DefaultSettings()->Item("output"), "<desktop>/<title>.pdf");
}

struct FlagCase {
  std::string value;
  bool yes;         // IsYes without trimming
  bool yesTrimmed;  // IsYes with trimming
  bool notNo;       // IsNotNo
};

TEST(FlagReadersTest, YesAndNoFlags) {
  const std::vector<FlagCase> cases = {
      {"yes", true, true, true},    {"YES", true, true, true},  {"Yes", true, true, true},
      {" YES ", false, true, true}, {"", false, false, true},   {"no", false, false, false},
      {"No", false, false, false},  {"NO", false, false, false}, {" no", false, false, true},
      {"true", false, false, true}, {"1", false, false, true},  {"yes please", false, false, true},
      {"\tyes", false, false, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(IsYes(c.value), c.yes) << "'" << c.value << "'";
    EXPECT_EQ(IsYes(c.value, FlagTrim::kYes), c.yesTrimmed) << "'" << c.value << "'";
    EXPECT_EQ(IsNotNo(c.value), c.notNo) << "'" << c.value << "'";
  }
}

TEST(FlagReadersTest, SettingsReadersTreatAMissingKeyAsEmpty) {
  Dictionary settings;
  settings.Set("pdfa", "  YES ");
  settings.Set("showprogress", "No");
  EXPECT_TRUE(YesSetting(settings, "pdfa", FlagTrim::kYes));
  EXPECT_FALSE(YesSetting(settings, "pdfa"));
  EXPECT_FALSE(NotNoSetting(settings, "showprogress"));
  EXPECT_TRUE(NotNoSetting(settings, "showprogressfinished"));  // missing: on
  EXPECT_FALSE(YesSetting(settings, "openfolder"));              // missing: off
  EXPECT_EQ(KeywordSetting(settings, "showprogress"), "no");
  settings.Set("res", "300dpi");
  EXPECT_EQ(NumberSetting(settings, "res"), 300);
  EXPECT_EQ(NumberSetting(settings, "resx"), 0);
}

TEST(ConfirmOverwriteTest, OffOnlyForZeroOrNo) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"0", false},    {"no", false},  {"NO", false},  {"nO", false}, {"yes", true},
      {"false", true}, {"", true},     {"00", true},   {" no", true}, {"1", true}};
  for (const auto& [value, expected] : cases) {
    Dictionary settings;
    settings.Set("confirmoverwrite", value);
    EXPECT_EQ(ConfirmOverwrite(settings), expected) << "'" << value << "'";
  }
  EXPECT_TRUE(ConfirmOverwrite(Dictionary()));
}

TEST(WatermarkLayerTest, BottomInAnyCaseElseTop) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"bottom", "bottom"}, {"BOTTOM", "bottom"}, {"Bottom", "bottom"}, {"top", "top"},
      {"", "top"},          {"middle", "top"},    {" bottom", "top"}};
  for (const auto& [value, expected] : cases) {
    Dictionary settings;
    settings.Set("watermarklayer", value);
    EXPECT_EQ(WatermarkLayer(settings), expected) << "'" << value << "'";
  }
}

TEST(HasSuperimposeTest, NotEmptyMeansConfigured) {
  Dictionary settings;
  EXPECT_FALSE(HasSuperimpose(settings));
  settings.Set("superimpose", "");
  EXPECT_FALSE(HasSuperimpose(settings));
  settings.Set("superimpose", "/srv/letterhead.pdf");
  EXPECT_TRUE(HasSuperimpose(settings));
}

TEST(GhostscriptTimeoutTest, OnlyThePlainDecimalFormCounts) {
  const std::vector<std::pair<std::string, long>> cases = {
      {"120", 120},       {" 600 ", 600},     {"-5", -5},         {"0", 0},
      {"", 300},          {"120s", 300},      {"12.5", 300},      {"0600", 300},
      {"1e3", 300},       {"+5", 300},        {"-0", 300},        {"abc", 300},
      {"2147483647", 2147483647}, {"2147483648", 300}, {"-2147483648", -2147483648L},
      {"99999999999", 300}, {"1 2", 300}};
  for (const auto& [value, expected] : cases) {
    Dictionary settings;
    settings.Set("ghostscripttimeout", value);
    EXPECT_EQ(GhostscriptTimeout(settings), expected) << "'" << value << "'";
  }
  EXPECT_EQ(GhostscriptTimeout(Dictionary()), 300);
}

}  // namespace
}  // namespace nimbra
