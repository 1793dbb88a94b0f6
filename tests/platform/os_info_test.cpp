#include "platform/os_info.h"

#include <gtest/gtest.h>

#include <array>
#include <sys/utsname.h>

namespace nimbra {
namespace {

struct OsCase {
  const char* name;
  OsVersionRecord record;
  const char* platform;
  const char* version;
  // IsWin95, IsWin98, IsWinME, IsWin9x, IsWinNT, IsWin2K, IsWinXP, IsWin2003, IsWinVista
  std::array<bool, 9> flags;
};

OsVersionRecord Record(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                       std::uint32_t platform) {
  OsVersionRecord r;
  r.majorVersion = major;
  r.minorVersion = minor;
  r.buildNumber = build;
  r.platformId = platform;
  return r;
}

class COpSysInfoTest : public ::testing::TestWithParam<OsCase> {};

TEST_P(COpSysInfoTest, ClassifiesTheVersion) {
  const OsCase& c = GetParam();
  COpSysInfo info(c.record);
  std::array<bool, 9> flags = {info.IsWin95(), info.IsWin98(),  info.IsWinME(),
                               info.IsWin9x(), info.IsWinNT(),  info.IsWin2K(),
                               info.IsWinXP(), info.IsWin2003(), info.IsWinVista()};
  EXPECT_EQ(flags, c.flags);
  EXPECT_EQ(info.Platform(), c.platform);
  EXPECT_EQ(info.Version(), c.version);
}

constexpr bool T = true, F = false;

INSTANTIATE_TEST_SUITE_P(
    Table, COpSysInfoTest,
    ::testing::Values(
        OsCase{"Win95", Record(4, 0, 950, 1), "Windows 95", "Windows 95 v4.0, Build 950",
               {T, F, F, T, F, F, F, F, F}},
        OsCase{"Win98", Record(4, 10, 1998, 1), "Windows 98", "Windows 98 v4.10, Build 1998",
               {T, T, F, T, F, F, F, F, F}},
        OsCase{"WinMe", Record(4, 90, 3000, 1), "Windows Me", "Windows Me v4.90, Build 3000",
               {T, T, T, T, F, F, F, F, F}},
        OsCase{"NT4", Record(4, 0, 1381, 2), "Windows NT", "Windows NT v4.0, Build 1381",
               {F, F, F, F, T, F, F, F, F}},
        OsCase{"Win2000", Record(5, 0, 2195, 2), "Windows 2000", "Windows 2000 v5.0, Build 2195",
               {F, F, F, F, T, T, F, F, F}},
        OsCase{"WinXP", Record(5, 1, 2600, 2), "Windows XP", "Windows XP v5.1, Build 2600",
               {F, F, F, F, T, T, T, F, F}},
        OsCase{"Server2003", Record(5, 2, 3790, 2), "Windows Server 2003",
               "Windows Server 2003 v5.2, Build 3790", {F, F, F, F, T, T, T, T, F}},
        OsCase{"Vista", Record(6, 0, 6002, 2), "Windows Vista", "Windows Vista v6.0, Build 6002",
               {F, F, F, F, T, T, T, T, T}},
        OsCase{"Win10", Record(10, 0, 19045, 2), "Windows Vista",
               "Windows Vista v10.0, Build 19045", {F, F, F, F, T, T, T, T, T}},
        // Build numbers above 32767 show as negative (signed 16-bit of the low 16 bits).
        OsCase{"BigBuild", Record(10, 0, 40000, 2), "Windows Vista",
               "Windows Vista v10.0, Build -25536", {F, F, F, F, T, T, T, T, T}},
        OsCase{"HighBitsCut", Record(5, 1, 0x0A280A28, 2), "Windows XP",
               "Windows XP v5.1, Build 2600", {F, F, F, F, T, T, T, F, F}},
        OsCase{"OtherPlatform", Record(6, 1, 0, 0), "", " v6.1, Build 0",
               {F, F, F, F, F, F, F, F, F}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(COpSysInfo, ExtendedFields) {
  OsVersionRecord r = Record(5, 1, 2600, 2);
  r.csdVersion = std::string("  Service Pack 3 \0garbage", 25);
  r.servicePackMajor = 3;
  r.suiteMask = 0x1 | 0x10 | 0x80;
  r.productType = 1;
  COpSysInfo info(r);
  EXPECT_EQ(info.CSDVersion(), "Service Pack 3");
  EXPECT_EQ(info.ServicePackMajor(), 3);
  EXPECT_TRUE(info.HasSBS());
  EXPECT_FALSE(info.HasAS());
  EXPECT_FALSE(info.HasBO());
  EXPECT_TRUE(info.HasTS());
  EXPECT_FALSE(info.HasSBSr());
  EXPECT_TRUE(info.HasDC());
  EXPECT_EQ(info.ProductTypeName(), "NT Workstation");
  r.suiteMask = 0x2 | 0x4 | 0x20;
  COpSysInfo other(r);
  EXPECT_TRUE(other.HasAS() && other.HasBO() && other.HasSBSr());
  EXPECT_FALSE(other.HasSBS() || other.HasTS() || other.HasDC());
}

TEST(COpSysInfo, ProductTypeNames) {
  const std::pair<std::uint8_t, const char*> cases[] = {
      {0, "Unknown"}, {1, "NT Workstation"}, {2, "Domain Controller"}, {3, "NT Server"}, {4, ""}};
  for (const auto& [type, name] : cases) {
    OsVersionRecord r;
    r.productType = type;
    EXPECT_EQ(COpSysInfo(r).ProductTypeName(), name);
  }
}

TEST(SharedOsInfo, ThisSystemHasNoWindowsFlags) {
  const COpSysInfo& info = SharedOsInfo();
  EXPECT_EQ(&info, &SharedOsInfo());
  EXPECT_EQ(info.PlatformID(), 0u);
  EXPECT_FALSE(info.IsWin9x() || info.IsWinNT() || info.IsWinXP() || info.IsWinVista());
  EXPECT_EQ(info.Platform(), "");
  struct utsname names {};
  ASSERT_EQ(::uname(&names), 0);
  std::string release = names.release;  // e.g. "6.1.0-18-amd64"
  std::string expected = std::to_string(info.MajorVersion()) + "." +
                         std::to_string(info.MinorVersion()) + ".";
  EXPECT_EQ(release.rfind(expected, 0), 0u) << release;
  EXPECT_GT(info.MajorVersion(), 2u);
}

}  // namespace
}  // namespace nimbra
