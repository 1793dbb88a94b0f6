#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/error.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/env_guard.h"
#include "syscall_failure_support.h"

namespace nimbra {
namespace {

using test_support::ScopedEnv;
using test_support::ScratchFolder;
using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

// Runs `call` and returns the Error it throws; fails the test when it throws nothing.
template <typename Call>
Error ErrorOf(Call call) {
  try {
    call();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error was raised";
  return Error(0, "");
}

TEST(ReadFile, ReturnsAllBytes) {
  ScratchFolder dir;
  const std::string bytes("%PDF\0\xff\r\n\x80tail", 12);
  WriteFileBytes(dir / "a.bin", bytes);
  EXPECT_EQ(ReadFile(dir / "a.bin"), bytes);
  WriteFileBytes(dir / "empty", "");
  EXPECT_EQ(ReadFile(dir / "empty"), "");
  EXPECT_EQ(ReadTextFile(dir / "a.bin"), bytes);
}

TEST(ReadFile, Errors) {
  ScratchFolder dir;
  Error empty = ErrorOf([] { ReadFile(""); });
  EXPECT_EQ(empty.Number(), 1000);
  EXPECT_EQ(empty.Description(),
            "Function ReadFile does not accept an empty file name as parameter.");

  EXPECT_EQ(ErrorOf([&] { ReadFile(dir / "missing"); }).Number(), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { ReadTextFile(dir / "missing"); }).Number(), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { ReadTextFile(""); }).Number(), err::kFileNotFound);
  // A folder is not a file: an error, not an empty content.
  EXPECT_EQ(ErrorOf([&] { ReadFile(dir.Path()); }).Number(), EISDIR);
}

// Runs in the death-test child: with no descriptor allowed, ReadFile must say so.
[[noreturn]] void ReadWithoutDescriptors(const std::string& path) {
  if (!test::FailSystemCalls({{SYS_openat, EMFILE}, {SYS_open, EMFILE}})) std::_Exit(4);
  try {
    ReadFile(path);
  } catch (const Error& e) {
    bool expected = e.Number() == 1000 &&
                    e.Description() == "Function ReadFile was not able to get a free file handle.";
    std::_Exit(expected ? 0 : 2);
  }
  std::_Exit(3);
}

TEST(ReadFileDeathTest, NoFreeDescriptorIsReportedAsSuch) {
  ScratchFolder dir;
  WriteFileBytes(dir / "a", "x");
  EXPECT_EXIT(ReadWithoutDescriptors(dir / "a"), ::testing::ExitedWithCode(0), "");
}

TEST(WriteBytes, ReplacesTheWholeContent) {
  ScratchFolder dir;
  const std::string path = dir / "f";
  WriteFileBytes(path, std::string(100, 'o'));
  WriteBytes(path, "0123456789");
  EXPECT_EQ(ReadFileBytes(path), "0123456789");  // 10 bytes, nothing of the old 100 left

  WriteBytes(path, "");
  EXPECT_EQ(std::filesystem::file_size(path), 0u);

  WriteBytes(dir / "new", std::string("a\0b", 3));
  EXPECT_EQ(ReadFileBytes(dir / "new"), std::string("a\0b", 3));

  WriteTextFile(dir / "text", "Gr\xC3\xBC\xC3\x9F" "e\r\n");
  EXPECT_EQ(ReadFileBytes(dir / "text"), "Gr\xC3\xBC\xC3\x9F" "e\r\n");  // UTF-8 bytes unchanged
}

TEST(WriteBytes, ErrorsCarryTheMappedNumber) {
  ScratchFolder dir;
  EXPECT_EQ(ErrorOf([&] { WriteBytes(dir / "no/such/folder/f", "x"); }).Number(),
            err::kFileNotFound);
  Error e = ErrorOf([&] { WriteTextFile(dir / "missing/f", "x"); });
  EXPECT_EQ(e.Source(), "WriteBytes::WriteTextFile");
}

TEST(FileExists, MatchesFilesNotFolders) {
  ScratchFolder dir;
  WriteFileBytes(dir / "a.pdf", "x");
  WriteFileBytes(dir / ".hidden", "x");
  WriteFileBytes(dir / "[ab].txt", "x");
  std::filesystem::create_directory(dir / "sub.pdf.d");
  std::filesystem::create_directory(dir / "only-folders");
  std::filesystem::create_directory(dir / "only-folders/inner");
  std::filesystem::create_symlink(dir / "a.pdf", dir / "link.lnk");
  std::filesystem::create_symlink(dir / "gone", dir / "dangling.lnk");

  const std::pair<std::string, bool> cases[] = {
      {dir / "a.pdf", true},
      {dir / "missing.pdf", false},
      {dir.Path(), false},                 // a folder
      {dir / "sub.pdf.d", false},
      {dir / "*.pdf", true},
      {dir / "?.pdf", true},
      {dir / "??.pdf", false},
      {dir / "*.doc", false},
      {dir / "only-folders/*", false},    // matches only a folder
      {dir / "only-folders/*.*", false},
      {dir / "*hidden", true},            // "*" also matches a leading "."
      {dir / "[ab].txt", true},           // brackets are literal characters
      {dir / "[ab]*", true},
      {dir / "link.lnk", true},           // a link to a file
      {dir / "dangling.lnk", false},
      {dir / "a.pdf/", false},
      {"", false},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(FileExists(path), expected) << path;
  WriteFileBytes(dir / "b", "x");
  EXPECT_FALSE(FileExists(dir / "[ab]"));  // would match "b" if brackets were a wildcard
}

TEST(FolderExists, MatchesFolders) {
  ScratchFolder dir;
  std::filesystem::create_directory(dir / "sub");
  WriteFileBytes(dir / "file", "x");
  const std::pair<std::string, bool> cases[] = {
      {dir / "sub", true},       {dir / "sub/", true},   {dir / "sub//", true},
      {dir / "s?b", true},       {dir / "su*", true},    {dir / "file", false},
      {dir / "fil*", false},     {dir / "missing", false}, {"/", true},
      {"///", true},             {"", false},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(FolderExists(path), expected) << path;
}

// The exact tests take every character literally: "*" and "?" never match another entry.
TEST(ExactExistenceTests, LiteralPathsLinksFollowed) {
  ScratchFolder dir;
  WriteFileBytes(dir / "a.pdf", "x");
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_symlink(dir / "a.pdf", dir / "file.lnk");
  std::filesystem::create_symlink(dir / "sub", dir / "folder.lnk");
  std::filesystem::create_symlink(dir / "gone", dir / "dangling.lnk");
  struct Case {
    std::string path;
    bool exists, file, folder;
  };
  const Case cases[] = {
      {dir / "a.pdf", true, true, false},
      {dir / "sub", true, false, true},
      {dir / "sub/", true, false, true},
      {dir / "*.pdf", false, false, false},   // would match "a.pdf" as a wildcard
      {dir / "?.pdf", false, false, false},
      {dir / "su?", false, false, false},
      {dir / "file.lnk", true, true, false},
      {dir / "folder.lnk", true, false, true},
      {dir / "dangling.lnk", false, false, false},
      {dir / "missing", false, false, false},
      {"", false, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathExists(c.path), c.exists) << c.path;
    EXPECT_EQ(IsFileNotFolder(c.path), c.file) << c.path;
    EXPECT_EQ(IsFolder(c.path), c.folder) << c.path;
  }
}

TEST(MkDirRecurse, CreatesEveryMissingFolder) {
  ScratchFolder dir;
  MkDirRecurse(dir / "x/y/z");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "x/y/z"));
  MkDirRecurse(dir / "x/y/z");  // existing: nothing to do
  MkDirRecurse(dir / "x//w/");  // doubled and trailing separators
  EXPECT_TRUE(std::filesystem::is_directory(dir / "x/w"));
  MkDirRecurse("");
}

TEST(MkDirRecurse, RelativePathsStartInTheCurrentFolder) {
  ScratchFolder dir;
  const std::string old = CurrentFolder();
  ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
  MkDirRecurse("r1/r2");
  ASSERT_EQ(::chdir(old.c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "r1/r2"));
}

TEST(MkDirRecurse, FailureNamesTargetAndThePathReached) {
  ScratchFolder dir;
  WriteFileBytes(dir / "file", "x");
  const std::string target = dir / "file/sub";
  Error e = ErrorOf([&] { MkDirRecurse(target); });
  EXPECT_EQ(e.Number(), ENOTDIR);
  EXPECT_EQ(e.Description(), "Error creating folder in function MkDirRecurse. Target=" + target +
                                 ", Current=" + dir.Path() + "/file/. " + std::strerror(ENOTDIR));
}

TEST(PathParts, FolderOfFileNameOfAndStrip) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
    const char* stripped;
  };
  const Case cases[] = {
      {"/home/u/x.pdf", "/home/u/", "x.pdf", "/home/u/x.pdf"},
      {"x.pdf", "", "x.pdf", "x.pdf"},
      {"/home/u/", "/home/u/", "", "/home/u"},
      {"/home/u///", "/home/u///", "", "/home/u"},
      {"/", "/", "", ""},
      {"", "", "", ""},
      {"a\\b", "", "a\\b", "a\\b"},  // a backslash is an ordinary character here
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(FileNameOf(c.path), c.name) << c.path;
    EXPECT_EQ(StripTrailingBackslashes(c.path), c.stripped) << c.path;
  }
}

TEST(ResolvePath, AbsoluteStaysRelativeJoinsTheBase) {
  ScopedEnv app("NIMBRA_APP_FOLDER", "/opt/nimbra");
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"/forms/x.pdf", "/app", "/forms/x.pdf"},
      {"x.pdf", "/app", "/app/x.pdf"},
      {"sub/x.pdf", "/app/", "/app/sub/x.pdf"},
      {"x.pdf", "/", "/x.pdf"},
      {"x.pdf", "", "/opt/nimbra/x.pdf"},  // empty base: the application folder
      {"../x.pdf", "/app", "/app/../x.pdf"},
  };
  for (const auto& [path, base, expected] : cases) {
    EXPECT_EQ(ResolvePath(path, base), expected) << path << " in " << base;
  }
}

TEST(FileNameEncode, BothFormsAndTrailingDots) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"a:b..", "a%3Ab", "a_b"},
      {"\\/:*?\"<>|", "%5C%2F%3A%2A%3F%22%3C%3E%7C", "_________"},
      {"100% sure", "100% sure", "100% sure"},
      {"...", "", ""},
      {"a.b", "a.b", "a.b"},
      {"x?.", "x%3F", "x_"},
      {"Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"", "", ""},
  };
  for (const auto& [text, percent, underscore] : cases) {
    EXPECT_EQ(FileNameEncode(text, true), percent) << text;
    EXPECT_EQ(FileNameEncode(text, false), underscore) << text;
  }
}

TEST(ProgramFolder, EnvironmentFirstThenTheProgramsFolder) {
  {
    ScopedEnv app("NIMBRA_APP_FOLDER", "/opt/nimbra/");
    EXPECT_EQ(ProgramFolder(), "/opt/nimbra");
  }
  ScopedEnv app("NIMBRA_APP_FOLDER", std::nullopt);
  std::string folder = ProgramFolder();
  EXPECT_TRUE(FileExists(folder + "/platform_files_test")) << folder;
  EXPECT_NE(folder.back(), '/');
}

TEST(TempPath, TmpdirWhenSet) {
  ScopedEnv tmp("TMPDIR", "/var/tmp/x");
  EXPECT_EQ(TempPath(), "/var/tmp/x/");
}

TEST(TempPath, PrivateFolderOtherwise) {
  ScopedEnv tmp("TMPDIR", std::nullopt);
  std::string path = TempPath();
  EXPECT_EQ(path, PrivateTempFolder(::getuid()) + "/");
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_EQ(st.st_uid, ::getuid());
}

TEST(EnsurePrivateFolder, RefusesLinksAndForeignFoldersAndTightensTheMode) {
  ScratchFolder dir;
  std::filesystem::create_directory(dir / "target");
  std::filesystem::create_directory_symlink(dir / "target", dir / "link");
  EXPECT_FALSE(EnsurePrivateFolder(dir / "link", ::getuid(), ::getgid()));

  WriteFileBytes(dir / "file", "x");
  EXPECT_FALSE(EnsurePrivateFolder(dir / "file", ::getuid(), ::getgid()));

  ::mkdir((dir / "open").c_str(), 0777);
  ::chmod((dir / "open").c_str(), 0777);
  EXPECT_TRUE(EnsurePrivateFolder(dir / "open", ::getuid(), ::getgid()));
  struct stat st {};
  ASSERT_EQ(::stat((dir / "open").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  if (::geteuid() != 0) GTEST_SKIP() << "handing folders to another user needs root";
  const uid_t other = 65534;
  EXPECT_TRUE(EnsurePrivateFolder(dir / "for-other", other, other));
  ASSERT_EQ(::stat((dir / "for-other").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, other);
  // A folder that belongs to someone else is not ours to use.
  EXPECT_FALSE(EnsurePrivateFolder(dir / "for-other", ::getuid(), ::getgid()));
}

}  // namespace
}  // namespace nimbra
