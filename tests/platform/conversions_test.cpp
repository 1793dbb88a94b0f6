#include "platform/conversions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/error.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scratch_folder.h"

namespace nimbra {
namespace {

struct LeadingCase {
  const char* text;
  double expected;
};

TEST(LeadingNumber, ReadsTheNumberAtTheStart) {
  const LeadingCase cases[] = {
      {"150%", 150},        {" 1 5", 15},        {"12.5pt", 12.5},    {"abc", 0},
      {"", 0},              {"-3.5x", -3.5},     {"+.5", 0.5},        {"5.", 5},
      {"1e3", 1000},        {"1D3", 1000},       {"1d-2", 0.01},      {"1E+2x", 100},
      {"1e", 1},            {"1e-", 1},          {"2.5E-1mm", 0.25},  {"1 e 2", 100},
      {"- 5", -5},          {"&H1F", 31},        {"&hff", 255},       {"&HFFFF", 65535},
      {"&O17", 15},         {"&o7x", 7},         {"&O9", 0},          {"&H", 0},
      {"&Hx", 0},           {"1.2.3", 1.2},      {"\t4\n2", 42},      {"1\r5", 1},
      {".", 0},             {"-", 0},            {"--5", 0},          {"5,5", 5},
      {"1e400", 0},         {"1e-400", 0},       {"-0.000001", -0.000001},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.expected) << "text [" << c.text << "]";
  }
}

TEST(LeadingNumber, ManyDigitsAreReadAsADouble) {
  EXPECT_DOUBLE_EQ(LeadingNumber("123456789012345678901234567890"), 1.2345678901234568e29);
}

struct TextCase {
  double value;
  const char* expected;
};

TEST(NumberText, WritesTheShortestFormWithAPoint) {
  const TextCase cases[] = {
      {1.5, "1.5"},
      {0.5, ".5"},
      {45, "45"},
      {-90, "-90"},
      {-0.5, "-.5"},
      {0, "0"},
      {-0.0, "0"},
      {100, "100"},
      {0.1 + 0.2, ".3"},
      {1.0 / 3, ".333333333333333"},
      {2.0 / 3, ".666666666666667"},
      {123456789012345, "123456789012345"},
      {0.0001, ".0001"},
      {1e-7, "1E-07"},
      {1e20, "1E+20"},
      {-2.5e-5, "-2.5E-05"},
      {1234567890123456, "1.23456789012346E+15"},
      {std::numeric_limits<double>::infinity(), "0"},
      {std::nan(""), "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberText(c.value), c.expected) << c.value;
}

TEST(NumberText, IsReadBackAsTheSameNumber) {
  for (double x : {1.5, 0.5, -90.0, 1e-7, 1e20, -2.5e-5, 1234567890123456.0, 0.0001, 72.0 / 7,
                   1e-300, 1.7e308}) {
    std::string text = NumberText(x);
    double tolerance = std::fabs(x) * 1e-14;
    EXPECT_NEAR(LeadingNumber(text), x, tolerance) << text;
    EXPECT_NEAR(SafeDouble(text), x, tolerance) << text;
  }
}

// Switches LC_NUMERIC to a locale with a decimal comma: an installed one, or a minimal one
// compiled into the scratch folder. False when neither is possible.
bool UseDecimalCommaLocale(const test_support::ScratchFolder& dir) {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name)) return true;
  }
  test_support::WriteFileBytes(dir / "comma.src",
             "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\n"
             "END LC_NUMERIC\n");
  // localedef warns about the categories left out (exit code 1) but writes the locale.
  std::string command = "localedef -c -i '" + (dir / "comma.src") + "' -f ANSI_X3.4-1968 '" +
                        (dir / "comma") + "' >/dev/null 2>&1";
  (void)std::system(command.c_str());
  ::setenv("LOCPATH", dir.Path().c_str(), 1);
  bool ok = std::setlocale(LC_NUMERIC, "comma") != nullptr;
  ::unsetenv("LOCPATH");
  return ok;
}

TEST(NumberText, IgnoresTheLocale) {
  test_support::ScratchFolder dir;
  if (!UseDecimalCommaLocale(dir)) GTEST_SKIP() << "no locale with a decimal comma is available";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  std::string text = NumberText(1.5);
  double back = SafeDouble("2.25");
  double leading = LeadingNumber("3.5cm");
  std::setlocale(LC_NUMERIC, "C");
  ASSERT_STREQ(probe, "1,5") << "the locale did not take effect";
  EXPECT_EQ(text, "1.5");
  EXPECT_DOUBLE_EQ(back, 2.25);
  EXPECT_DOUBLE_EQ(leading, 3.5);
}

struct LongCase {
  const char* text;
  std::int32_t expected;
};

TEST(SafeLong, RoundsHalvesToEvenAndSwallowsErrors) {
  const LongCase cases[] = {
      {"12.5", 12},          {"13.5", 14},           {"-2.5", -2},
      {"12.6", 13},          {" 42 ", 42},           {"\t7", 7},
      {"abc", 0},            {"", 0},                {"12abc", 0},
      {"1e3", 1000},         {"&H10", 16},           {"2147483647", 2147483647},
      {"2147483648", 0},     {"-2147483648", -2147483647 - 1},
      {"2147483647.5", 0},   {"1 2", 0},             {"+8", 8},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeLong(c.text), c.expected) << "[" << c.text << "]";
}

TEST(SafeLong, FromDouble) {
  EXPECT_EQ(SafeLong(2.5), 2);
  EXPECT_EQ(SafeLong(3.5), 4);
  EXPECT_EQ(SafeLong(-0.5), 0);
  EXPECT_EQ(SafeLong(1e12), 0);
  EXPECT_EQ(SafeLong(std::nan("")), 0);
}

TEST(SafeDouble, ReadsWholeNumbersOnly) {
  const LeadingCase cases[] = {
      {"12.5", 12.5}, {" -1.25 ", -1.25}, {"abc", 0}, {"", 0},     {"1,5", 0},
      {"1e400", 0},   {"2.5D1", 25},      {".5", 0.5}, {"12.5pt", 0}, {"&O10", 8},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(SafeDouble(c.text), c.expected) << c.text;
}

TEST(NonNegative, NegativesBecomeZero) {
  EXPECT_EQ(NonNegative(-1.5), 0.0);
  EXPECT_EQ(NonNegative(2.5), 2.5);
  EXPECT_EQ(NonNegative(std::int32_t{-7}), 0);
  EXPECT_EQ(NonNegative(std::int32_t{7}), 7);
}

TEST(Bit, IsTwoToThePositionMinusOne) {
  const std::pair<int, std::int32_t> cases[] = {{1, 1}, {2, 2}, {8, 128}, {17, 65536},
                                                {31, 1073741824}};
  for (const auto& [position, value] : cases) EXPECT_EQ(Bit(position), value) << position;
}

TEST(Bit, PositionsOutsideOneToThirtyOneAreErrors) {
  for (int position : {0, -1}) {
    try {
      Bit(position);
      FAIL() << position;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 1000);
      EXPECT_EQ(e.Description(), "Do not call the Bit function with position values below 1.");
    }
  }
  // 2^31 does not fit a signed 32-bit integer.
  EXPECT_THROW(Bit(32), Error);
}

TEST(InArray, ComparesExactly) {
  std::vector<std::string> texts{"pdf", "png", "PDF"};
  EXPECT_TRUE(InArray("png", texts));
  EXPECT_TRUE(InArray("PDF", texts));
  EXPECT_FALSE(InArray("Png", texts));
  EXPECT_FALSE(InArray("", texts));
  EXPECT_TRUE(InArray("b", {"a", "b"}));
  EXPECT_FALSE(InArray("c", {}));
  EXPECT_TRUE(InArray(3L, std::vector<long>{1, 2, 3}));
  EXPECT_FALSE(InArray(4L, std::vector<long>{1, 2, 3}));
}

}  // namespace
}  // namespace nimbra
