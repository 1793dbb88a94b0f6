#include "platform/system_info.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <regex>
#include <set>

#include "platform/error.h"
#include "tests/support/env_guard.h"
#include "syscall_failure_support.h"

namespace nimbra {
namespace {

using test_support::ScopedEnv;

std::string OutputOf(const char* command) {
  std::string out;
  if (FILE* p = ::popen(command, "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
    ::pclose(p);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST(NewGuid, IsAnUpperCaseVersion4Guid) {
  const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 500; ++i) {
    std::string guid = NewGuid();
    ASSERT_TRUE(std::regex_match(guid, form)) << guid;
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 500u);
}

// Death-test children: exit 0 when NewGuid behaves as expected without getrandom.
[[noreturn]] void GuidFromRandomDevice() {
  if (!test::FailSystemCalls({{SYS_getrandom, ENOSYS}})) std::_Exit(4);
  std::string guid = NewGuid();
  std::_Exit(guid.size() == 36 && guid[14] == '4' ? 0 : 2);
}

[[noreturn]] void GuidWithoutAnyRandomSource() {
  // The random device cannot be opened either.
  if (!test::FailSystemCalls({{SYS_getrandom, ENOSYS}, {SYS_openat, EACCES}, {SYS_open, EACCES}})) {
    std::_Exit(4);
  }
  try {
    NewGuid();
  } catch (const Error& e) {
    std::_Exit(e.Number() == 1000 && e.Description() == "Error generating guid: Permission denied"
                   ? 0
                   : 2);
  }
  std::_Exit(3);
}

TEST(NewGuidDeathTest, FallsBackToTheRandomDeviceAndReportsFailure) {
  EXPECT_EXIT(GuidFromRandomDevice(), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(GuidWithoutAnyRandomSource(), ::testing::ExitedWithCode(0), "");
}

TEST(Names, AreTheSystemsNames) {
  EXPECT_EQ(ComputerName(), OutputOf("uname -n"));
  std::string user = OutputOf("id -un");
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(UserName(), user);
  EXPECT_EQ(UserName(), user);  // from the cache the second time
}

// Death-test child: the name follows the real user id, not the effective one.
[[noreturn]] void NameAsRealUser(uid_t realUid, const std::string& expected) {
  if (::setreuid(realUid, 0) != 0) std::_Exit(4);
  std::_Exit(UserName() == expected ? 0 : 2);
}

TEST(NamesDeathTest, UserNameIsThatOfTheRealUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "changing the real user id needs root";
  const uid_t other = 65534;
  struct passwd* entry = ::getpwuid(other);
  if (!entry) GTEST_SKIP() << "no passwd entry for uid 65534";
  const std::string expected = entry->pw_name;
  // A fresh process, so the name is not already in the cache.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(NameAsRealUser(other, expected), ::testing::ExitedWithCode(0), "");
}

TEST(SystemErrorText, IsTheSystemsText) {
  EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
  EXPECT_FALSE(SystemErrorText(99999).empty());
}

TEST(FormatTimestamp, LocalTimeWithPaddedParts) {
  ScopedEnv tz("TZ", "CET-1");
  ::tzset();
  EXPECT_EQ(FormatTimestamp(std::time_t{0}), "1970-01-01 01:00:00");
  EXPECT_EQ(FormatTimestamp(std::time_t{1700000000}), "2023-11-14 23:13:20");
  auto t = std::chrono::system_clock::from_time_t(1700000000) + std::chrono::milliseconds(999);
  EXPECT_EQ(FormatTimestamp(t), "2023-11-14 23:13:20");  // fractions are cut, not rounded
  {
    ScopedEnv utc("TZ", "UTC0");
    ::tzset();
    EXPECT_EQ(FormatTimestamp(std::time_t{1700000000}), "2023-11-14 22:13:20");
  }
  ::tzset();
}

}  // namespace
}  // namespace nimbra
