#include "platform/error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace nimbra {
namespace {

TEST(Error, PassedOnBuildsTheChainOfCallers) {
  Error e(err::kGeneral, "Error launching the command [x]", "RunCommand");
  e.PassedOn("RunGhostscript").PassedOn("MakePDF");
  EXPECT_EQ(e.Source(), "RunCommand::RunGhostscript::MakePDF");
  EXPECT_EQ(e.Number(), 1000);
  EXPECT_STREQ(e.what(), "Error launching the command [x]");
}

TEST(Error, PassedOnWorksWhenRethrown) {
  try {
    try {
      throw Error(53, "gone", "ReadFile");
    } catch (Error& e) {
      throw e.PassedOn("LoadConfig");
    }
  } catch (const Error& e) {
    EXPECT_EQ(e.Source(), "ReadFile::LoadConfig");
    EXPECT_EQ(e.Number(), 53);
  }
}

struct ErrnoCase {
  int errnoValue;
  long expected;
};

TEST(ErrorNumberFromErrno, MapsFileErrorsToTheNumbersCallersTest) {
  const ErrnoCase cases[] = {
      {ENOENT, err::kFileNotFound}, {EACCES, err::kPathFileAccess},
      {EPERM, err::kPathFileAccess}, {EBUSY, err::kPathFileAccess},
      {ETXTBSY, err::kPathFileAccess}, {EROFS, err::kPathFileAccess},
      {ENOSPC, ENOSPC}, {EISDIR, EISDIR},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorNumberFromErrno(c.errnoValue), c.expected) << std::strerror(c.errnoValue);
  }
}

TEST(SystemError, CarriesNumberContextAndSystemText) {
  Error e = SystemError(ENOENT, "/no/such/file", "ReadFile");
  EXPECT_EQ(e.Number(), err::kFileNotFound);
  EXPECT_EQ(e.Description(), std::string("/no/such/file: ") + std::strerror(ENOENT));
  EXPECT_EQ(e.Source(), "ReadFile");
  EXPECT_EQ(SystemError(EACCES).Description(), std::strerror(EACCES));
}

}  // namespace
}  // namespace nimbra
