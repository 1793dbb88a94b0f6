#include "platform/system_info.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <regex>
#include <set>

#include "platform/error.h"
#include "scratch_support.h"

namespace nimbra {
namespace {

using test::ScopedEnv;

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

// Makes the getrandom system call fail with ENOSYS for this process, as on an old kernel.
bool DisableGetrandom() {
  struct sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getrandom, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog program {static_cast<unsigned short>(std::size(filter)), filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Death-test children: exit 0 when NewGuid behaves as expected without getrandom.
[[noreturn]] void GuidFromRandomDevice() {
  if (!DisableGetrandom()) std::_Exit(4);
  std::string guid = NewGuid();
  std::_Exit(guid.size() == 36 && guid[14] == '4' ? 0 : 2);
}

[[noreturn]] void GuidWithoutAnyRandomSource() {
  if (!DisableGetrandom()) std::_Exit(4);
  struct rlimit none {0, 0};
  ::setrlimit(RLIMIT_NOFILE, &none);  // the random device cannot be opened either
  try {
    NewGuid();
  } catch (const Error& e) {
    std::_Exit(e.Number() == 1000 &&
                       e.Description().rfind("Error generating guid: ", 0) == 0
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
