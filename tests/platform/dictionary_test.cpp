#include "platform/dictionary.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace nimbra {
namespace {

std::vector<std::string> TextsOf(const Dictionary& d) {
  std::vector<std::string> texts;
  for (const auto& e : d) texts.push_back(e.value.Text());
  return texts;
}

TEST(Dictionary, KeepsInsertionOrderAndReplacesInPlace) {
  Dictionary d;
  d.Set("zeta", "1");
  d.Set("alpha", "2");
  d.Set("mid", "3");
  d.Set("zeta", "changed");  // assignment keeps the place of the first insertion
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"zeta", "alpha", "mid"}));
  EXPECT_EQ(TextsOf(d), (std::vector<std::string>{"changed", "2", "3"}));
  EXPECT_EQ(d.Count(), 3u);
}

TEST(Dictionary, KeysAreCaseSensitive) {
  Dictionary d;
  d.Set("Key", "upper");
  d.Set("key", "lower");
  EXPECT_EQ(d.Count(), 2u);
  EXPECT_EQ(d.Item("Key"), "upper");
  EXPECT_EQ(d.Item("key"), "lower");
  EXPECT_FALSE(d.Exists("KEY"));
}

TEST(Dictionary, MissingKeyReadsEmptyWithoutAddingIt) {
  Dictionary d;
  EXPECT_EQ(d.Item("nothing"), "");
  EXPECT_EQ(d.Find("nothing"), nullptr);
  EXPECT_EQ(d.Section("nothing"), nullptr);
  EXPECT_EQ(d.Count(), 0u);
}

TEST(Dictionary, ExplicitAddOfExistingKeyIsError457AndChangesNothing) {
  Dictionary d;
  d.Add("ps", "first");
  try {
    d.Add("ps", "second");
    FAIL() << "Add of an existing key must fail";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kKeyExists);
  }
  EXPECT_EQ(d.Item("ps"), "first");
  EXPECT_EQ(d.Count(), 1u);
}

TEST(Dictionary, RemoveKeepsTheOrderAndTheIndexOfTheOthers) {
  Dictionary d;
  for (const char* k : {"a", "b", "c", "d"}) d.Set(k, std::string(k) + "!");
  d.Remove("b");
  d.Remove("not there");
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"a", "c", "d"}));
  // Lookups after a removal must still find the entries that moved up.
  EXPECT_EQ(d.Item("c"), "c!");
  EXPECT_EQ(d.Item("d"), "d!");
  d.Set("d", "new");
  EXPECT_EQ(TextsOf(d), (std::vector<std::string>{"a!", "c!", "new"}));
  d.Set("b", "back");
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"a", "c", "d", "b"}));
  d.RemoveAll();
  EXPECT_TRUE(d.Empty());
  EXPECT_FALSE(d.Exists("a"));
}

TEST(Dictionary, NestedSectionsAreSharedNotCopied) {
  Dictionary ini;
  auto section = Dictionary::New();
  ini.Set("PDF Printer", section);
  ini.Section("PDF Printer")->Set("output", "/tmp/x.pdf");  // changed through the handle
  EXPECT_EQ(section->Item("output"), "/tmp/x.pdf");
  EXPECT_TRUE(ini.Find("PDF Printer")->IsDictionary());
  EXPECT_EQ(ini.Item("PDF Printer"), "");  // a section has no text
}

TEST(Dictionary, CloneIsDeep) {
  Dictionary ini;
  ini.Set("top", "1");
  auto section = Dictionary::New();
  section->Set("k", "v");
  ini.Set("s", section);
  DictionaryPtr copy = ini.Clone();
  section->Set("k", "changed");
  ini.Set("top", "2");
  EXPECT_EQ(copy->Section("s")->Item("k"), "v");
  EXPECT_EQ(copy->Item("top"), "1");
  EXPECT_NE(copy->Section("s"), section);
}

struct SortCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> entries;
  SortBy by;
  std::vector<std::string> expectedKeys;
};

class SortDictionaryTest : public ::testing::TestWithParam<SortCase> {};

TEST_P(SortDictionaryTest, OrdersByCharacterCodes) {
  const SortCase& c = GetParam();
  Dictionary d;
  for (const auto& [k, v] : c.entries) d.Set(k, v);
  SortDictionary(d, c.by);
  EXPECT_EQ(d.Keys(), c.expectedKeys);
  // The values travel with their keys, and lookups work in the new order.
  for (const auto& [k, v] : c.entries) EXPECT_EQ(d.Item(k), v) << k;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SortDictionaryTest,
    ::testing::Values(
        SortCase{"UpperBeforeLower", {{"b", "1"}, {"B", "2"}, {"a", "3"}}, SortBy::kByKey,
                 {"B", "a", "b"}},
        SortCase{"ByValue", {{"x", "30"}, {"y", "100"}, {"z", "20"}}, SortBy::kByValue,
                 {"y", "z", "x"}},  // texts, not numbers: "100" < "20" < "30"
        SortCase{"Single", {{"only", "1"}}, SortBy::kByKey, {"only"}},
        SortCase{"Empty", {}, SortBy::kByKey, {}},
        SortCase{"FocusOrderTexts",
                 {{"c1", "00000120,00000010"}, {"c2", "00000010,00000200"},
                  {"c3", "00000010,00000005"}},
                 SortBy::kByValue, {"c3", "c2", "c1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SortDictionary, SortingByValueTreatsSectionsAsEmptyText) {
  Dictionary d;
  d.Set("text", "a");
  d.Set("section", Dictionary::New());
  SortDictionary(d, SortBy::kByValue);
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"section", "text"}));
  EXPECT_NE(d.Section("section"), nullptr);
}

}  // namespace
}  // namespace nimbra
