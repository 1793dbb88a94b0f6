#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include "tests/support/file_bytes.h"

#include <string>
#include <vector>

namespace nimbra {
namespace {


TEST(Utf16LeToUtf8, ConvertsAndRepairs) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string utf8;
  };
  const std::vector<Case> cases = {
      {"empty", "", ""},
      {"ASCII", test_support::Utf16LeBytes(u"L1=Yes"), "L1=Yes"},
      {"two- and three-byte characters", test_support::Utf16LeBytes(u"\u00DC\u20AC\uD55C"),
       "\xC3\x9C\xE2\x82\xAC\xED\x95\x9C"},
      {"surrogate pair", test_support::Utf16LeBytes(u"a\U0001F600b"), "a\xF0\x9F\x98\x80" "b"},
      {"odd byte count: the last byte is ignored", test_support::Utf16LeBytes(u"ab") + "c", "ab"},
      {"a single byte", "x", ""},
      {"lone high surrogate at the end", test_support::Utf16LeBytes(u"a") + "\x3D\xD8", "a\xEF\xBF\xBD"},
      {"lone low surrogate", test_support::Utf16LeBytes(u"a") + std::string("\x00\xDC", 2) + test_support::Utf16LeBytes(u"b"), "a\xEF\xBF\xBD" "b"},
      {"high surrogate followed by a letter", std::string("\x3D\xD8", 2) + test_support::Utf16LeBytes(u"b"),
       "\xEF\xBF\xBD" "b"},
      {"byte-order mark is kept", test_support::Utf16LeBytes(u"\uFEFFx"), "\xEF\xBB\xBFx"},
      {"NUL characters are kept", test_support::Utf16LeBytes(std::u16string(u"a\0b", 3)), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf16LeToUtf8(c.bytes), c.utf8) << c.name;
}

struct Utf16Case {
  const char* utf8;
  std::string utf16;
};

TEST(Utf8ToUtf16Le, EncodesCharactersAndReplacesInvalidBytes) {
  const Utf16Case cases[] = {
      {"A", std::string("A\0", 2)},
      {"\xC3\xA9", std::string("\xE9\x00", 2)},
      {"\xE2\x82\xAC", std::string("\xAC\x20", 2)},
      {"\xF0\x9F\x98\x80", std::string("\x3D\xD8\x00\xDE", 4)},
      {"\xFF", std::string("\xFD\xFF", 2)},
      // A sequence cut short, an overlong form and an encoded surrogate are not characters.
      {"\xE2\x82", std::string("\xFD\xFF\xFD\xFF", 4)},
      {"\xC0\xAF", std::string("\xFD\xFF\xFD\xFF", 4)},
      {"\xED\xA0\x80", std::string("\xFD\xFF\xFD\xFF\xFD\xFF", 6)},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16Le(c.utf8), c.utf16) << c.utf8;
}

}  // namespace
}  // namespace nimbra
